// Checksums of extracted audio, computed while it streams to its file: AccurateRip's v1 and v2
// per track and the CRC32 of the track's bytes (the "Copy CRC" of other rippers' logs).
#pragma once

#include "util/ByteOrder.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tolvane::sums {

constexpr std::uint32_t SamplesPerSector = 588; // 2,352 bytes of 16-bit stereo

// AccurateRip's track checksums. A sample is a stereo pair read as one little-endian 32-bit word,
// weighted by its position from 1; the disc's first track leaves out its first five sectors but
// one sample and its last track its last five sectors, the parts a drive's offset can hide.
class AccurateRipChecksum {
public:
    AccurateRipChecksum(std::uint64_t trackSamples, bool firstTrack, bool lastTrack);

    // Bytes of the track in order, in pieces of any size.
    void Add(ConstBytes pcm);

    std::uint32_t V1() const { return v1_; }
    std::uint32_t V2() const { return v2_; }

private:
    void AddSample(std::uint32_t sample);

    std::uint64_t from_;
    std::uint64_t to_;
    std::uint64_t position_ = 1;
    std::uint32_t v1_ = 0;
    std::uint32_t v2_ = 0;
    std::array<std::uint8_t, 4> partial_{};
    std::size_t partialSize_ = 0;
};

// The read-offset corrections, within +-margin samples, at which a track's AccurateRip v1 checksum
// is one of `known`: the way a drive's offset is found from a disc the database knows. `samples`
// holds the track's samples as read, with `margin` more before and after it (the neighbouring
// tracks' or silence). A correction of +6 means the right samples start 6 later than read.
// One pass: the checksum at the next offset follows from the one before (v2 does not slide so).
std::vector<int> FindOffsets(std::span<const std::uint32_t> samples, std::size_t margin, bool firstTrack,
                             bool lastTrack, std::span<const std::uint32_t> known);

// CRC-32 (the polynomial of zlib and PNG), fed in pieces.
class Crc32 {
public:
    void Add(ConstBytes bytes);
    std::uint32_t Value() const { return ~crc_; }

private:
    std::uint32_t crc_ = 0xFFFFFFFF;
};

// SHA-1, for the CUETools database's TOC id; fed in pieces.
class Sha1 {
public:
    void Add(ConstBytes bytes);
    std::array<std::uint8_t, 20> Digest() const;

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 5> h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;
};

} // namespace tolvane::sums
