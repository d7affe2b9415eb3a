// Small helpers for the image loader tests: reading a block through a disc's
// extents, making image files whose every block is recognisable, and the
// shape of an expected track.
#pragma once

#include "emulator/Disc.h"
#include "emulator/ImageLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

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

// Bytes of an image file whose block k (of `stride` bytes) is distinct from every other block of
// every file made with another `tag`.
inline std::vector<std::uint8_t> MakeBlocks(int tag, std::int32_t count, std::size_t stride = 2352)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * stride);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] =
            AddressPatternSource::ByteAt(tag * 1000000 + static_cast<std::int64_t>(i / stride), i % stride);
    return bytes;
}

// Block k of a file made by MakeBlocks, `size` bytes of it.
inline std::vector<std::uint8_t> BlockOf(int tag, std::int32_t k, std::size_t size = 2352)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = AddressPatternSource::ByteAt(tag * 1000000 + k, i);
    return bytes;
}

struct ExpectedTrack {
    int number;
    std::int32_t pregapStart;
    std::int32_t start;
    std::int32_t end;
    int session = 1;
};

inline void ExpectTracks(const Disc& disc, const std::vector<ExpectedTrack>& expected)
{
    ASSERT_EQ(disc.tracks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Track& t = disc.tracks[i];
        SCOPED_TRACE("track " + std::to_string(expected[i].number));
        EXPECT_EQ(t.number, expected[i].number);
        EXPECT_EQ(t.pregapStart, expected[i].pregapStart);
        EXPECT_EQ(t.start, expected[i].start);
        EXPECT_EQ(t.end, expected[i].end);
        EXPECT_EQ(t.session, expected[i].session);
    }
}

// Every track's pregap and body is covered by extents, in order and without overlaps.
inline void ExpectExtentsCoverTracks(const Disc& disc)
{
    for (std::size_t i = 1; i < disc.extents.size(); ++i)
        EXPECT_LE(disc.extents[i - 1].End(), disc.extents[i].start) << "extent " << i;
    for (const Track& t : disc.tracks) {
        for (std::int32_t lba = t.pregapStart; lba < t.end;) {
            const Extent* extent = disc.FindExtent(lba);
            if (extent == nullptr) {
                ADD_FAILURE() << "track " << int{t.number} << ": no extent holds block " << lba;
                break;
            }
            lba = extent->End();
        }
    }
}

} // namespace tolvane::emulator::testing
