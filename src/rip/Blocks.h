// CD audio blocks as the rip's readers count them.
#pragma once

#include <cstdint>

namespace tolvane::rip {

constexpr std::int32_t BlockSize = 2352;      // bytes of one block: 1/75 s of 16-bit stereo
constexpr std::int32_t SamplesPerBlock = 588; // stereo samples of one block
// Blocks per READ CD where the host's limit is not asked: 63,504 bytes, under the 64 KiB every
// host adapter takes.
constexpr std::int32_t Burst = 27;

// Division rounding towards minus infinity, for sample positions before the disc's start.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace tolvane::rip
