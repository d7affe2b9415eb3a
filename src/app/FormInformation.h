// The information window: the disc's facts as property/value rows, saved as a text report.
#pragma once

#include "app/CommonDialogs.h"
#include "app/Form.h"

#include <memory>

namespace tolvane {
class OpticalDisk;
}

namespace tolvane::app {

class FormInformation : public Form {
    Q_OBJECT
public:
    explicit FormInformation(QWidget* parent = nullptr);

    tolvane::OpticalDisk* OpticalDisk() const { return disk_; }
    void SetOpticalDisk(tolvane::OpticalDisk* disk) { disk_ = disk; }

    // The report of the rows now listed (what Save As writes).
    std::string Report() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void SaveAs();

    tolvane::OpticalDisk* disk_ = nullptr;
    std::unique_ptr<CommonDialogs> dialogs_;
};

} // namespace tolvane::app
