// Small helpers for the image loader tests: reading a block through a disc's extents, making
// image files whose every block is recognisable, and the shape of an expected track.
#pragma once

#include "emulator/Disc.h"
#include "emulator/ImageLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane::emulator::testing {

// The bytes of a disc block as its extent serves them; empty when no extent holds it or the
// source fails.
inline std::vector<std::uint8_t> ReadBlock(const Disc& disc, std::int32_t lba)
{
    const Extent* extent = disc.FindExtent(lba);
    if (extent == nullptr)
        return {};
    std::vector<std::uint8_t> out(BytesPerSector(extent->format));
    if (!extent->source->Read(extent->sourceSector + (lba - extent->start), out))
        return {};
    return out;
}

// Block k of a file made by MakeBlocks, `size` bytes of it.
inline std::vector<std::uint8_t> BlockOf(int tag, std::int32_t k, std::size_t size = 2352)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = AddressPatternSource::ByteAt(tag * 1000000 + k, i);
    return bytes;
}

// Bytes of an image file whose block k (of `stride` bytes) is distinct from every other block of
// every file made with another `tag`.
inline std::vector<std::uint8_t> MakeBlocks(int tag, std::int32_t count, std::size_t stride = 2352)
{
    std::vector<std::uint8_t> bytes;
    for (std::int32_t k = 0; k < count; ++k) {
        const auto block = BlockOf(tag, k, stride);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

// The same samples in the other byte order.
inline std::vector<std::uint8_t> Swapped(std::vector<std::uint8_t> bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

// A RIFF WAVE file with a chunk of odd size (skipped, with its pad byte) before the samples.
inline std::vector<std::uint8_t> WaveFile(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                          const std::vector<std::uint8_t>& samples)
{
    const auto tag = [](const char* t) {
        return static_cast<std::uint32_t>(t[0] | t[1] << 8 | t[2] << 16 | t[3] << 24);
    };
    const auto size = static_cast<std::uint32_t>(samples.size());
    // Little-endian words, the format's 16-bit fields in pairs; "efg" is the odd chunk and its pad byte.
    const std::uint32_t pcmAndChannels = 1u | channels << 16;
    const std::uint32_t alignAndBits = channels * bits / 8u | bits << 16;
    const std::uint32_t byteRate = rate * channels * bits / 8;
    const std::uint32_t words[] = {tag("RIFF"), 52 + size,   tag("WAVE"),  tag("fmt "), 16, pcmAndChannels,
                                   rate,        byteRate,    alignAndBits, tag("LIST"), 7,  tag("abcd"),
                                   tag("efg"),  tag("data"), size};
    std::vector<std::uint8_t> out;
    for (const std::uint32_t word : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

// A file of `size` bytes, zeros (unwritten) but for the parts given.
inline void SparseFile(const std::string& path, std::uint64_t size,
                       const std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>>& parts = {})
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, bytes] : parts)
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                  static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

struct ExpectedTrack {
    int number;
    std::int32_t pregapStart;
    std::int32_t start;
    std::int32_t end;
    int session = 1;
    bool operator==(const ExpectedTrack&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ExpectedTrack& t)
{
    return out << "{track " << t.number << ": " << t.pregapStart << ", " << t.start << ", " << t.end
               << ", session " << t.session << "}";
}

inline void ExpectTracks(const Disc& disc, const std::vector<ExpectedTrack>& expected)
{
    std::vector<ExpectedTrack> actual;
    for (const Track& t : disc.tracks)
        actual.push_back({int{t.number}, t.pregapStart, t.start, t.end, int{t.session}});
    EXPECT_EQ(actual, expected);
}

// Every track's pregap and body is covered by extents, in order and without overlaps.
inline void ExpectExtentsCoverTracks(const Disc& disc)
{
    for (std::size_t i = 1; i < disc.extents.size(); ++i)
        EXPECT_LE(disc.extents[i - 1].End(), disc.extents[i].start) << "extent " << i;
    for (const Track& t : disc.tracks) {
        for (std::int32_t lba = t.pregapStart; lba < t.end;) {
            const Extent* extent = disc.FindExtent(lba);
            ASSERT_NE(extent, nullptr) << "track " << int{t.number} << ": no extent holds block " << lba;
            lba = extent->End();
        }
    }
}

} // namespace tolvane::emulator::testing
