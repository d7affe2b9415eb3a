// The main window: the drive's tracks in a list, seven buttons, the status bar, and the
// about entry in the window menu. Every other window opens modally from here.
#pragma once

#include "app/CommonDialogs.h"
#include "app/Form.h"
#include "app/FormAbout.h"
#include "app/FormExtracting.h"
#include "app/FormInformation.h"
#include "app/FormRipOptions.h"
#include "app/FormSelectDevice.h"
#include "app/Session.h"

#include <memory>
#include <vector>

namespace tolvane {
class ListItem;
class OpticalDisk;
class OpticalDrives;
class SystemMenuItem;
} // namespace tolvane

namespace tolvane::app {

class FormTolvane : public Form {
    Q_OBJECT
public:
    explicit FormTolvane(Session& session, QWidget* parent = nullptr);
    ~FormTolvane() override;

    // Finds the drives and opens the first; false (after saying so) when there is none, and the
    // program ends.
    bool Start();

    // The windows it opens, for the tests.
    FormSelectDevice& SelectDevice() { return *selectDevice_; }
    FormInformation& Information() { return *information_; }
    FormExtracting& Extracting() { return *extracting_; }
    FormRipOptions& RipOptions() { return *ripOptions_; }
    FormAbout& About() { return *about_; }
    CommonDialogs& Dialogs() { return *dialogs_; }
    tolvane::OpticalDisk* Disk() { return disk_.get(); }

    // The buttons' actions.
    void SelectDeviceClicked();
    void RefreshClicked();
    void InformationClicked();
    void EjectClicked();
    void LoadClicked();
    void ExtractClicked();
    // The about box, captioned with the menu entry's text without "&" and "...".
    void ShowAbout(const QString& entry);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ListTracks(bool read);
    void UpdateSelectionState();
    void OpenDisk(int index);
    QString CountText() const;
    // What the databases and the secure reads say of the tracks just copied, for the message
    // after the last one.
    struct CopiedTrack {
        int number;
        std::size_t audioIndex; // among the disc's audio tracks, as AccurateRip counts them
        FormExtracting::Result result;
    };
    QString RipSummary(const std::vector<CopiedTrack>& copied);

    Session& session_;
    std::unique_ptr<tolvane::OpticalDrives> drives_;
    std::unique_ptr<tolvane::OpticalDisk> disk_;
    std::unique_ptr<CommonDialogs> dialogs_;
    std::unique_ptr<FormSelectDevice> selectDevice_;
    std::unique_ptr<FormInformation> information_;
    std::unique_ptr<FormExtracting> extracting_;
    std::unique_ptr<FormRipOptions> ripOptions_;
    RipChoices choices_;
    bool choicesAsked_ = false;
    std::unique_ptr<FormAbout> about_;
    std::vector<int> savedWidths_;
    QSize designSize_;
    QSize listDesignSize_;
};

} // namespace tolvane::app
