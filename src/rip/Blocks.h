// CD audio blocks as the rip's readers count them, and reading runs of them.
#pragma once

#include "device/MMC.h"
#include "util/AudioBlocks.h"
#include "util/ByteOrder.h"

#include <cstdint>
#include <functional>

namespace tolvane::rip {

using audio::BlockSize;
using audio::FloorDiv;
using audio::SamplesPerBlock;

// Blocks per READ CD where the host's limit is not asked: 63,504 bytes, under the 64 KiB every
// host adapter takes.
constexpr std::int32_t Burst = 27;

struct BurstRead {
    bool ok = true;            // no read failed
    std::int32_t failedAt = 0; // the first block of the read that failed
    std::uint32_t commands = 0;
};

// Reads the audio of blocks [from, to), Burst at a time, and hands each burst to `each` with its
// first block; `each` returning false stops the reading (ok stays true).
BurstRead ReadBursts(MMC& mmc, std::int32_t from, std::int32_t to,
                     const std::function<bool(std::int32_t first, ConstBytes blocks)>& each);

} // namespace tolvane::rip
