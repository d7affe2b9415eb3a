// CD audio blocks as the drive and the rip count them.
#pragma once

#include <cstdint>

namespace tolvane::audio {

constexpr std::int32_t BlockSize = 2352;      // bytes of one block: 1/75 s of 16-bit stereo
constexpr std::int32_t SamplesPerBlock = 588; // stereo samples of one block

// Division rounding towards minus infinity, for sample positions before the disc's start.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace tolvane::audio
