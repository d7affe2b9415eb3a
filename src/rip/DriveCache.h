// How much of a disc the drive's read cache holds, measured from how long reads take: a block
// the cache still holds comes back far sooner than one the drive has to read from the disc. The
// secure reader reads that far away before every re-read, so no re-read is answered from the
// cache.
#pragma once

#include "device/MMC.h"
#include "util/Clock.h"

#include <cstdint>
#include <string>

namespace tolvane::rip {

struct CacheSize {
    bool measured = false;   // false: re-reads took as long as reads, or the reads failed
    std::int32_t blocks = 0; // the cache holds fewer than this many blocks
    std::string note;        // what was found, for the log
};

// Reads near `at` (an audio block with room after it before `discEnd`): a few thousand blocks
// at most.
CacheSize MeasureCache(MMC& mmc, Clock& clock, std::int32_t at, std::int32_t discEnd);

} // namespace tolvane::rip
