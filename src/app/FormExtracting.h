// The extraction window: copies one track to "Track N.wav" (or .flac) in the chosen folder,
// once as the drive answers or securely, shows the progress and closes itself; Cancel stops the
// copy at the next sector.
#pragma once

#include "app/Form.h"
#include "app/FormRipOptions.h"
#include "disc/Checksums.h"
#include "rip/SecureReader.h"

#include <atomic>
#include <cstdint>

namespace tolvane {
class OpticalDisk;
class ProgressBar;
} // namespace tolvane

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
    // How to copy: WAV or FLAC, and securely through `reader` (which must then be set).
    void SetChoices(const RipChoices& choices, rip::SecureReader* reader)
    {
        choices_ = choices;
        reader_ = reader;
    }
    // Where the track lies among the disc's audio, for its checksums.
    void SetPlace(bool firstAudio, bool lastAudio, std::uint64_t audioSamples)
    {
        firstAudio_ = firstAudio;
        lastAudio_ = lastAudio;
        audioSamples_ = audioSamples;
    }

    // What the last copy gave: whether the track was copied whole, its checksums, and what a
    // secure read had to read again.
    struct Result {
        bool copied = false;
        sums::TrackChecksums::Sums sums;
        rip::Report read;
    };
    const Result& LastResult() const { return result_; }

    // "Track 7"
    static QString TrackWord(int track);
    // The progress bar's position for `extractedbytes` (half to even).
    static int ProgressValue(std::int32_t extractedbytes, float bytesPerStep);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape and the window's close button cancel, as the button does

private:
    void Run();
    // The copy through the disc object's Extract (burst WAV) or the track file (the others).
    bool CopyWav(const std::string& file, sums::TrackChecksums& sums);
    bool CopyToTrackFile(const std::string& file, sums::TrackChecksums& sums);
    // Posts a progress count to the window, as the copy's Change events do.
    void Report(std::int32_t extractedbytes, bool& cancel);
    // Shows a count and the bar position kept for it (-1: none yet).
    void OnChange(std::int32_t extractedbytes, int value);

    QString folderName_;
    tolvane::OpticalDisk* disk_ = nullptr;
    std::uint8_t track_ = 0;
    std::atomic<bool> cancel_{false};
    std::atomic<std::int32_t> latestBytes_{0};
    std::atomic<int> latestValue_{-1};
    std::atomic<bool> updatePending_{false};
    std::atomic<std::uint32_t> rereads_{0};
    float bytesPerStep_ = 0;
    int minimum_ = 0;
    int maximum_ = 0;
    bool running_ = false;
    RipChoices choices_{false, false, 0};
    rip::SecureReader* reader_ = nullptr;
    bool firstAudio_ = false;
    bool lastAudio_ = false;
    std::uint64_t audioSamples_ = 0;
    Result result_;
};

} // namespace tolvane::app
