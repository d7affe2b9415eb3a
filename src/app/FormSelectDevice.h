// The device dialog: lists the drives and reports the one chosen. One object lives for the
// whole run, so Device keeps the chosen drive's index between showings.
#pragma once

#include "app/Form.h"

#include <cstdint>

namespace tolvane {
class ListItem;
class OpticalDrives;
}

namespace tolvane::app {

class FormSelectDevice : public Form {
    Q_OBJECT
public:
    explicit FormSelectDevice(QWidget* parent = nullptr);

    const tolvane::OpticalDrives* OpticalDrives() const { return drives_; }
    void SetOpticalDrives(const tolvane::OpticalDrives* drives) { drives_ = drives; }
    std::uint8_t Device() const { return device_; }
    void SetDevice(std::uint8_t index) { device_ = index; }
    bool OK() const { return ok_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Choose(tolvane::ListItem* item);

    const tolvane::OpticalDrives* drives_ = nullptr;
    std::uint8_t device_ = 0;
    bool ok_ = false;
};

} // namespace tolvane::app
