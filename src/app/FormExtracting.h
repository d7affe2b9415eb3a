// The extraction window: copies one track to "Track N.wav" in the chosen folder, shows the
// progress and closes itself; Cancel stops the copy at the next sector.
#pragma once

#include "app/Form.h"

#include <atomic>
#include <cstdint>

namespace tolvane {
class OpticalDisk;
class ProgressBar;
}

namespace tolvane::app {

class FormExtracting : public Form {
    Q_OBJECT
public:
    explicit FormExtracting(QWidget* parent = nullptr);

    QString FolderName() const { return folderName_; }
    void SetFolderName(const QString& v) { folderName_ = v; }
    tolvane::OpticalDisk* OpticalDisk() const { return disk_; }
    void SetOpticalDisk(tolvane::OpticalDisk* v) { disk_ = v; }
    std::uint8_t Track() const { return track_; }
    void SetTrack(std::uint8_t v) { track_ = v; }

    // "Track 7"
    static QString TrackWord(int track);
    // The progress bar's position for `extractedbytes` (half to even).
    static int ProgressValue(std::int32_t extractedbytes, float bytesPerStep);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape and the window's close button cancel, as the button does

private:
    void Run();
    // Shows a count and the bar position kept for it (-1: none yet).
    void OnChange(std::int32_t extractedbytes, int value);

    QString folderName_;
    tolvane::OpticalDisk* disk_ = nullptr;
    std::uint8_t track_ = 0;
    std::atomic<bool> cancel_{false};
    std::atomic<std::int32_t> latestBytes_{0};
    std::atomic<int> latestValue_{-1};
    std::atomic<bool> updatePending_{false};
    float bytesPerStep_ = 0;
    bool running_ = false;
};

} // namespace tolvane::app
