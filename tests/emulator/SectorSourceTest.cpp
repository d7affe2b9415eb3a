#include "emulator/SectorSource.h"
#include "emulator/Disc.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using tolvane::test::TempDir;

std::vector<std::uint8_t> Counting(std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return bytes;
}

TEST(FileSourceTest, ReadsSectorsAtOffsetAndStride)
{
    TempDir dir;
    const auto bytes = Counting(100);
    const std::string path = dir.Write("f.bin", bytes);

    struct Case {
        std::uint64_t offset;
        std::size_t stride;
        bool swap;
        std::int64_t sector;
        std::size_t size;
        bool ok;
        std::size_t from; // first byte expected, when ok
    };
    const Case cases[] = {
        {0, 10, false, 0, 10, true, 0},
        {0, 10, false, 9, 10, true, 90},
        {0, 10, false, 10, 10, false, 0}, // just past the end
        {4, 10, false, 9, 6, true, 94},   // reads fewer bytes than the stride: the rest is skipped
        {4, 10, false, 9, 10, false, 0},  // runs past the end
        {3, 16, false, 2, 16, true, 35},
        {0, 10, false, -1, 10, false, 0},
        {0, 10, false, std::int64_t{1} << 60, 10, false, 0}, // a position beyond 64 bits
        {200, 10, false, 0, 10, false, 0},
        {0, 10, true, 1, 10, true, 10},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto source = FileSource::Open(path, c.offset, c.stride, c.swap, error);
        ASSERT_NE(source, nullptr) << error;
        EXPECT_EQ(source->Size(), 100u);
        std::vector<std::uint8_t> out(c.size, 0xEE);
        const bool ok = source->Read(c.sector, out);
        EXPECT_EQ(ok, c.ok) << "offset " << c.offset << " stride " << c.stride << " sector " << c.sector;
        if (!ok || !c.ok)
            continue;
        std::vector<std::uint8_t> expected(bytes.begin() + static_cast<std::ptrdiff_t>(c.from),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(c.from + c.size));
        if (c.swap)
            for (std::size_t i = 0; i + 1 < expected.size(); i += 2)
                std::swap(expected[i], expected[i + 1]);
        EXPECT_EQ(out, expected) << "sector " << c.sector;
    }
}

TEST(FileSourceTest, OpenFailsWithAMessage)
{
    TempDir dir;
    std::string error;
    EXPECT_EQ(FileSource::Open(dir.File("absent.bin"), 0, 2352, false, error), nullptr);
    EXPECT_NE(error.find("absent.bin"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(FileSource::Open(dir.Path(), 0, 2352, false, error), nullptr); // a folder
    EXPECT_FALSE(error.empty());
}

TEST(FileSourceTest, SeesAFileThatShrankAsAReadFailure)
{
    TempDir dir;
    const std::string path = dir.Write("f.bin", Counting(4 * 2352));
    std::string error;
    const auto source = FileSource::Open(path, 0, 2352, false, error);
    ASSERT_NE(source, nullptr) << error;
    dir.Write("f.bin", Counting(2352 + 100));
    std::vector<std::uint8_t> out(2352);
    EXPECT_TRUE(source->Read(0, out));
    EXPECT_FALSE(source->Read(1, out));
}

TEST(ZeroSourceTest, FillsWithZeros)
{
    std::vector<std::uint8_t> out(2352, 0xAB);
    EXPECT_TRUE(ZeroSource().Read(12345, out));
    EXPECT_EQ(out, std::vector<std::uint8_t>(2352, 0));
}

TEST(AddressPatternSourceTest, EverySectorAndShiftIsVisible)
{
    const AddressPatternSource source;
    std::vector<std::vector<std::uint8_t>> sectors;
    std::set<std::vector<std::uint8_t>> distinct;
    for (const std::int64_t s : {0, 1, 2, 150, 4499, 4500, 449999}) {
        std::vector<std::uint8_t> out(2352);
        ASSERT_TRUE(source.Read(s, out));
        EXPECT_EQ(out[0], AddressPatternSource::ByteAt(s, 0));
        EXPECT_EQ(out[2351], AddressPatternSource::ByteAt(s, 2351));
        distinct.insert(out);
        sectors.push_back(out);
    }
    EXPECT_EQ(distinct.size(), sectors.size());

    // Reading a sector a few bytes off (a misplaced offset) or one sector off shows in most bytes.
    std::vector<std::uint8_t> a(2352);
    std::vector<std::uint8_t> b(2352);
    source.Read(1000, a);
    for (const std::size_t shift : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{588}}) {
        std::size_t same = 0;
        for (std::size_t i = 0; i + shift < a.size(); ++i)
            same += a[i + shift] == a[i];
        EXPECT_LT(same, a.size() / 16) << "shift " << shift;
    }
    source.Read(1001, b);
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    EXPECT_LT(same, a.size() / 16);
    // Not all the same byte, nor zeros.
    EXPECT_GT(std::set<std::uint8_t>(a.begin(), a.end()).size(), 200u);
}

// --- Lookups of the disc model.

Disc TwoSessionDisc()
{
    Disc disc;
    const auto zeros = std::make_shared<ZeroSource>();
    disc.tracks = {
        Track{1, 1, TrackMode::Audio, 0, 0, 32, {}, 100, ""},
        Track{2, 1, TrackMode::Audio, 0, 100, 150, {200}, 300, ""},
        Track{3, 2, TrackMode::Mode1, control::Data, 11550, 11700, {}, 11900, ""},
    };
    disc.sessions = {Session{1, 300, 0}, Session{2, 11900, 0}};
    disc.extents = {
        Extent{0, 100, SectorFormat::Audio, zeros, 0},
        Extent{100, 200, SectorFormat::Audio, zeros, 0},
        Extent{11550, 350, SectorFormat::Mode1Data, zeros, 0},
    };
    return disc;
}

TEST(DiscTest, FindExtentAndTrackAt)
{
    const Disc disc = TwoSessionDisc();
    struct Case {
        std::int32_t lba;
        int extent; // index, -1 for none
        int track;  // number, 0 for none
    };
    const Case cases[] = {
        {-1, -1, 0},  {0, 0, 1},      {99, 0, 1},    {100, 1, 2},   {150, 1, 2},   {299, 1, 2},
        {300, -1, 0}, {11549, -1, 0}, {11550, 2, 3}, {11700, 2, 3}, {11899, 2, 3}, {11900, -1, 0},
    };
    for (const Case& c : cases) {
        const Extent* extent = disc.FindExtent(c.lba);
        EXPECT_EQ(extent == nullptr ? -1 : static_cast<int>(extent - disc.extents.data()), c.extent) << c.lba;
        const Track* track = disc.TrackAt(c.lba);
        EXPECT_EQ(track == nullptr ? 0 : track->number, c.track) << c.lba;
    }
    EXPECT_EQ(Disc{}.FindExtent(0), nullptr);
    EXPECT_EQ(Disc{}.TrackAt(0), nullptr);
}

TEST(DiscTest, FindTrackByNumber)
{
    Disc disc = TwoSessionDisc();
    for (Track& t : disc.tracks)
        t.number = static_cast<std::uint8_t>(t.number + 3); // tracks 4 to 6
    EXPECT_EQ(disc.FirstTrack(), 4);
    EXPECT_EQ(disc.LastTrack(), 6);
    EXPECT_EQ(disc.LeadOut(), 11900);
    for (const int n : {0, 1, 3, 7, 99, 255})
        EXPECT_EQ(disc.FindTrack(static_cast<std::uint8_t>(n)), nullptr) << n;
    for (const int n : {4, 5, 6}) {
        const Track* t = disc.FindTrack(static_cast<std::uint8_t>(n));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->number, n);
    }
}

} // namespace
} // namespace tolvane::emulator
