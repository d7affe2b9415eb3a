// The track list as the main window and tolvane-cli show it: one row per track of the table
// of contents, nine cells each.
#pragma once

#include "disc/OpticalDisk.h"

#include <string>
#include <vector>

namespace tolvane {

// The tracks the table of contents lists, first to last (the first need not be 1).
std::vector<int> TocTracks(const OpticalDisk& disc);

// Track n's cells: number, mode, LBA, MSF, raw size, digital copy, ISRC, CD-Text title and artist.
std::vector<std::string> TrackCells(OpticalDisk& disc, int n);

} // namespace tolvane
