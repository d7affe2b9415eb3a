// What the commands of tolvane-cli share: the windows' messages and the steps every command on a
// disc takes first.
#pragma once

#include "cli/Commands.h"
#include "net/Databases.h"

#include <vector>

namespace tolvane::cli {

inline constexpr const char* MediaNotPresent = "Media not present";
inline constexpr const char* ErrorReadingTracks = "Error reading tracks";
inline constexpr const char* NoTracksFound = "No tracks found";
inline constexpr const char* NotAudio = "Track is not in audio mode";
inline constexpr const char* ErrorExtracting = "Error extracting track";
inline constexpr const char* ErrorWriting = "Error writing file";
inline constexpr const char* ErrorAccessingDrive =
    "Error accessing drive"; // the chosen folder cannot be used
inline constexpr const char* Cancelled = "Track extraction cancelled";

// The disc object's reason for a failure, on a line of its own, when the user asked for it.
void Reason(const OpticalDisk& disc, bool verbose);
// Check, then Read: the main window's Refresh. Prints the failure and returns false.
bool ReadDisc(OpticalDisk& disc, bool verbose);
// The release MusicBrainz lists for the disc, or why there is none (on stderr).
net::MusicBrainzRelease AskMusicBrainz(OpticalDisk& disc, const Online& online);
// The disc's audio tracks in order: MusicBrainz's positions count them from 1.
std::vector<int> AudioTracks(OpticalDisk& disc);
// Track n's entry in the release, or null.
const net::MusicBrainzRelease::Track* TitleOf(OpticalDisk& disc, int n,
                                              const net::MusicBrainzRelease& release);

} // namespace tolvane::cli
