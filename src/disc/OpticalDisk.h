// The disc in one optical drive: binds to the drive, tests for a medium, moves
// the tray, reads everything known about the disc into fresh records, and
// copies audio tracks into WAV files.
//
// Operations that can fail return false and leave the reason in ErrorMessage;
// every failure inside Create, Read and Extract is caught and turned into it.
#pragma once

#include "device/MMC.h"
#include "disc/CD.h"
#include "disc/CDText.h"
#include "disc/DVD.h"
#include "disc/Track.h"
#include "util/ByteOrder.h"
#include "util/Clock.h"

#include <cstdint>
#include <functional>
#include <locale>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

class OpticalDisk {
public:
    // Raised once per extracted sector: the length the file will have once the
    // sector is written, and a flag the handler sets to stop before it is written.
    using ChangeHandler = std::function<void(std::int32_t extractedbytes, bool& cancelextract)>;
    // Raised with each sector's audio once it is in the file, so checksums need no second pass.
    using AudioHandler = std::function<void(ConstBytes sector)>;

    // Sectors read by one READ CD during extraction (27 x 2,352 bytes = 63,504).
    static constexpr std::int32_t BurstSectors = 27;
    // How long Check waits for a drive that is still spinning a disc up.
    static constexpr std::chrono::seconds BecomingReadyLimit{20};

    // The platform and the clock outlive the object. The clock is the one the
    // virtual drives share, so waiting for a drive to become ready costs no real
    // time in tests.
    OpticalDisk(Platform& platform, std::shared_ptr<Clock> clock);
    ~OpticalDisk();
    OpticalDisk(const OpticalDisk&) = delete;
    OpticalDisk& operator=(const OpticalDisk&) = delete;

    std::shared_ptr<const tolvane::CD> CD();
    std::shared_ptr<const tolvane::CDText> CDText();
    std::shared_ptr<const tolvane::DVD> DVD();
    std::uint8_t Count() const { return count_; }
    // The number of the first track of the table of contents (1 on most discs); 0 before a read.
    std::uint8_t FirstTrack() const { return firstTrack_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    // The track record for 1 <= Index <= Count, else null.
    std::shared_ptr<const tolvane::Track> Track(std::int16_t Index);

    bool Check();
    bool Create(const std::string& drive);
    void Destroy();
    void Eject();
    bool Extract(std::uint8_t trk, const std::string& file);
    // Extract for files other than WAV: each sector's audio goes to `write` instead of a file
    // (false: it could not be written, "Error writing file"). The Change event is raised as
    // Extract raises it, counting the bytes a WAV file of the track would have.
    bool ExtractTo(std::uint8_t trk, const std::function<bool(ConstBytes sector)>& write);
    void Load();
    bool Read();

    // The Change event.
    void SetChangeHandler(ChangeHandler handler) { change_ = std::move(handler); }
    void SetAudioHandler(AudioHandler handler) { audio_ = std::move(handler); }

    // Dates of the volume descriptor are written in this locale's formats (the
    // user's locale by default).
    void SetLocale(const std::locale& locale) { locale_ = locale; }

    // The drive string of the bound drive ("D:"), empty when none is bound.
    const std::string& Drive() const { return drive_; }
    // The transport, for diagnostics (the last command's sense; a command observer).
    MMC& Transport();

private:
    struct Reader;

    void DropRecords();
    bool ReadSteps();
    // The track Extract may copy, or null with the reason in ErrorMessage.
    std::shared_ptr<const tolvane::Track> ExtractableTrack(std::uint8_t trk);
    bool ExtractSectors(const tolvane::Track& track, const std::string& file);
    bool CopySectors(const tolvane::Track& track, const std::function<bool(ConstBytes)>& write);

    Platform& platform_;
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<MMC> mmc_; // made on first use, kept for the object's life
    std::string drive_;
    std::string errorMessage_;
    std::uint8_t count_ = 0;
    std::uint8_t firstTrack_ = 0;
    std::shared_ptr<tolvane::CD> cd_;
    std::shared_ptr<tolvane::CDText> cdText_;
    std::shared_ptr<tolvane::DVD> dvd_;
    std::vector<std::shared_ptr<tolvane::Track>> tracks_; // index = track number
    ChangeHandler change_;
    AudioHandler audio_;
    std::locale locale_;
};

} // namespace tolvane
