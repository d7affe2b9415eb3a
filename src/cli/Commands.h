// The jobs of tolvane-cli, each on the objects the main window uses: the drive
// list and the disc object. None of them sends a command block itself.
#pragma once

#include "device/OpticalDrives.h"
#include "disc/OpticalDisk.h"
#include "net/Databases.h"
#include "rip/SecureReader.h"
#include "rip/output/TrackFile.h"
#include "util/Clock.h"

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::cli {

// Set by the SIGINT handler; a rip in progress cancels its track at the next sector.
extern volatile std::sig_atomic_t Interrupted;

// The messages are the windows' own; with `verbose` the disc object's reason follows a failure
// on a line of its own.
int ListDrives(const OpticalDrives& drives);
int Report(OpticalDisk& disc, const std::string& file, bool verbose);

// What the commands ask of the online databases: checking extracted tracks against AccurateRip
// (from the network or from a response file saved earlier, dBAR-….bin), and titles from MusicBrainz.
struct Online {
    bool enabled = true; // AccurateRip after a rip
    std::string accurateRipFile;
    bool musicBrainz = false;
    net::Services services;
    // The disc's AccurateRip response once asked: a rip that consults it before and after
    // copying still makes one request.
    mutable std::shared_ptr<const net::AccurateRipLookup> accurateRip;
};

using AudioFormat = rip::AudioFormat;

// How a rip reads (the disc object's burst Extract, or the secure reader with its settings) and
// what it writes.
struct RipOptions {
    bool secure = true;
    rip::Settings read;
    std::string offsetSource;     // for the log: where the offset came from
    bool testAndCopy = false;     // read each track twice, the first time for its CRC alone
    std::shared_ptr<Clock> clock; // the program's, for timing the drive's cache
    std::string drive;            // for the log: maker, model, revision and where it is
    AudioFormat format = AudioFormat::Wav;
    std::string nameTemplate; // rip::FileNameFromTemplate's; empty: the usual names
};

// With online.musicBrainz, the release MusicBrainz lists for the disc follows the facts.
int Info(OpticalDisk& disc, const OpticalDriveItem& drive, bool json, const Online& online, bool verbose);

// tracks: the track numbers asked for, or every audio track when none. Each track's checksums
// are printed when it ends, then what AccurateRip says of them. The files are named by the
// template; without one, with online.musicBrainz, "NN - Title.wav" from the release MusicBrainz
// lists (Track N.wav when it lists none). rip.cue (a sheet of the files copied), rip.log and
// rip.json (the log in words and as JSON) go into the folder beside the tracks.
int Rip(OpticalDisk& disc, const std::optional<std::vector<int>>& tracks, const std::string& folder,
        const Online& online, const RipOptions& options, bool verbose);
// The checksums of the tracks in `folder` (the files its rip.cue names; else Track N.wav or
// NN - Title.wav, or .flac), or read from the disc
// when the folder is empty, against AccurateRip; 0 when every track was accurately ripped.
int Verify(OpticalDisk& disc, const std::optional<std::vector<int>>& tracks, const std::string& folder,
           const Online& online, bool verbose);
// Finds the drive's read offset from the disc's tracks that AccurateRip knows; with `save`,
// writes it into the user's drive table.
int FindOffset(OpticalDisk& disc, const OpticalDriveItem& drive, const Online& online, bool save,
               bool verbose);
int Eject(OpticalDisk& disc);
int Load(OpticalDisk& disc);

} // namespace tolvane::cli
