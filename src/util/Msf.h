// Minutes, seconds and frames (75 frames a second) of a CD address.
//
// An address on the disc is 150 frames (2 seconds) ahead of its logical block
// address: FromLba adds that offset, FromFrames (for lengths) does not.
#pragma once

#include <cstdint>

namespace tolvane {

struct Msf {
    static constexpr std::int32_t FramesPerSecond = 75;
    static constexpr std::int32_t FramesPerMinute = 60 * FramesPerSecond;
    static constexpr std::int32_t LeadInOffset = 150;

    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t frame = 0;

    // A count of frames (a length, or an address that already includes the offset).
    static constexpr Msf FromFrames(std::int32_t frames)
    {
        return Msf{frames / FramesPerMinute, frames / FramesPerSecond % 60, frames % FramesPerSecond};
    }
    // The disc address of a logical block.
    static constexpr Msf FromLba(std::int32_t lba) { return FromFrames(lba + LeadInOffset); }

    constexpr std::int32_t Frames() const { return (minute * 60 + second) * FramesPerSecond + frame; }
    constexpr std::int32_t ToLba() const { return Frames() - LeadInOffset; }

    constexpr bool operator==(const Msf&) const = default;
};

constexpr std::uint8_t ToBcd(std::int32_t v)
{
    return static_cast<std::uint8_t>((v / 10 % 10) << 4 | v % 10);
}

constexpr std::int32_t FromBcd(std::uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

} // namespace tolvane
