// Checksums of extracted audio, computed while it streams to its file: AccurateRip's v1 and v2
// per track, the CRC32 of the track's bytes (the "Copy CRC" of other rippers' logs), the same
// without its silent samples, and the CUETools database's track and disc CRCs.
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

    // The CRC of two runs of bytes one after the other, from the CRC of each and the second's
    // length: what lets a track's CRC be cut into the pieces the databases count.
    static std::uint32_t Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondBytes);

private:
    std::uint32_t crc_ = 0xFFFFFFFF;
};

// The same table-driven CRC-32 without the library the build may use for Crc32: for the builds
// without it, and for the tests that hold one against the other.
std::uint32_t Crc32Portable(std::uint32_t crc, ConstBytes bytes);

// CRC-32 over the 16-bit samples that are not zero (each channel's alone), the "W/O NULL" CRC other
// rippers print beside the CRC32.
class Crc32WithoutNulls {
public:
    void Add(ConstBytes bytes);
    std::uint32_t Value() const { return crc_.Value(); }

private:
    Crc32 crc_;
    std::uint8_t pending_ = 0;
    bool hasPending_ = false;
};

// The CUETools database leaves out of its CRCs the first ten sectors of the disc's first audio
// track and, of its last, ten sectors and the rest of the audio that does not fill ten more.
constexpr std::uint64_t CtdbStrideSamples = 10 * SamplesPerSector;
constexpr std::uint64_t CtdbHeadSamples(bool firstTrack)
{
    return firstTrack ? CtdbStrideSamples : 0;
}
// `audioSamples`: where the audio of the disc ends, counted from its start.
constexpr std::uint64_t CtdbTailSamples(bool lastTrack, std::uint64_t audioSamples)
{
    return lastTrack ? CtdbStrideSamples + audioSamples % CtdbStrideSamples : 0;
}

// Every checksum of one track, fed its bytes in order as they reach the file: a single CRC pass
// in three runs (the head and tail the database leaves out, and the rest) gives both the track's
// CRC32 and its database CRC.
class TrackChecksums {
public:
    // `audioSamples` as for CtdbTailSamples; it matters only for the disc's last audio track.
    TrackChecksums(std::uint64_t trackSamples, bool firstTrack, bool lastTrack, std::uint64_t audioSamples);

    void Add(ConstBytes pcm);

    struct Sums {
        std::uint32_t v1 = 0;
        std::uint32_t v2 = 0;
        std::uint32_t crc32 = 0;
        std::uint32_t withoutNulls = 0;
        std::uint32_t ctdb = 0;      // the CUETools database's CRC of the track
        std::uint64_t ctdbBytes = 0; // how many bytes that CRC covers, once the track is whole
        std::uint32_t peak = 0;      // the largest magnitude of a sample, 0 to 32768
    };
    Sums Result() const;

private:
    AccurateRipChecksum accurateRip_;
    Crc32WithoutNulls withoutNulls_;
    std::array<Crc32, 3> runs_; // head, counted, tail
    std::array<std::uint64_t, 3> runBytes_{};
    std::uint64_t headEnd_;
    std::uint64_t tailStart_;
    std::uint64_t position_ = 0; // bytes so far
    std::uint32_t peak_ = 0;
    std::uint8_t lowByte_ = 0; // of a sample the last piece split
};

// The database's CRC of the whole disc from the sums of every one of its audio tracks, in order.
std::uint32_t CtdbDiscCrc(std::span<const TrackChecksums::Sums> tracks);

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
