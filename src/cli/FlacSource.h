// The blocks of a FLAC file for the virtual drive: a rip's cue sheet naming .flac files plays
// like one naming WAV files (verify --cue, --image rip.cue).
#pragma once

#include "emulator/SectorSource.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tolvane::cli {

// The source of the file's audio, and its length in blocks; null with the reason when it is no
// FLAC file of CD audio or holds no whole number of blocks.
std::shared_ptr<const emulator::SectorSource> OpenFlacSource(const std::string& path, std::int64_t& blocks,
                                                             std::string& error);

} // namespace tolvane::cli
