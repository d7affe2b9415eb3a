// Sector sources and the disc model's lookups; multi-block reads served by one source call must
// equal the same sectors read one by one, and a failure inside a run must name the block that failed.
#include "emulator/SectorSource.h"
#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using tolvane::test::TempDir;

std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

std::shared_ptr<FileSource> Open(const std::string& path, std::uint64_t offset, std::size_t stride,
                                 bool swap = false)
{
    std::string error;
    auto source = FileSource::Open(path, offset, stride, swap, error);
    EXPECT_NE(source, nullptr) << error;
    return source;
}

// A run read by one call equals the expected bytes of each sector, and each single read too.
TEST(FileSourceTest, ReadsRunsAndSectorsAtOffsetAndStride)
{
    TempDir dir;
    const auto bytes = Noise(10 * 64 + 5, 7);
    const std::string path = dir.Write("f.bin", bytes);
    struct Case {
        std::uint64_t offset;
        std::size_t stride;
        std::size_t size; // bytes read of each sector
        bool swap;
        std::int64_t first;
        std::size_t count;
        bool ok;
    };
    const Case cases[] = {
        {5, 64, 64, false, 0, 10, true},  // the last sector ends at the file's end
        {6, 64, 64, false, 0, 10, false}, // one byte short
        {0, 64, 64, false, 10, 1, false}, // just past the end
        {0, 64, 64, false, 8, 3, false},
        {0, 64, 64, false, -1, 2, false},
        {0, 64, 64, false, std::int64_t{1} << 60, 1, false},
        {700, 64, 64, false, 0, 1, false}, // an offset past the end
        {0, 64, 64, true, 2, 5, true},     // 16-bit samples stored big-endian
        {0, 64, 48, false, 1, 6, true},    // fewer bytes than the stride: the rest is skipped
        {0, 64, 48, false, 7, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + " first " + std::to_string(c.first) + " count " +
                     std::to_string(c.count));
        const auto source = Open(path, c.offset, c.stride, c.swap);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->Size(), bytes.size());
        std::vector<std::uint8_t> run(c.count * c.size, 0xEE);
        EXPECT_EQ(source->ReadSectors(c.first, c.count, run), c.ok);
        std::vector<std::uint8_t> single(c.size);
        if (!c.ok) {
            EXPECT_TRUE(c.count > 1 || !source->Read(c.first, single)) << "a single read fails too";
            continue;
        }
        for (std::size_t k = 0; k < c.count; ++k) {
            const auto from =
                bytes.begin() +
                static_cast<std::ptrdiff_t>(c.offset + (static_cast<std::size_t>(c.first) + k) * c.stride);
            std::vector<std::uint8_t> expected(from, from + static_cast<std::ptrdiff_t>(c.size));
            for (std::size_t i = 0; c.swap && i + 1 < expected.size(); i += 2)
                std::swap(expected[i], expected[i + 1]);
            ASSERT_TRUE(source->Read(c.first + static_cast<std::int64_t>(k), single)) << "sector " << k;
            EXPECT_EQ(single, expected) << "sector " << k;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                                   run.begin() + static_cast<std::ptrdiff_t>(k * c.size)))
                << "sector " << k << " of the run";
        }
    }
}

// A file that shrinks after opening fails the reads past its new end (ReadCdRuns, below).
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

// Two audio tracks from two files: the second with a header and big-endian samples, after a
// pregap of silence that no file holds.
struct TwoFileDisc {
    TempDir dir;
    std::shared_ptr<Disc> disc = std::make_shared<Disc>();
    std::shared_ptr<EmulatedDrive> drive = std::make_shared<EmulatedDrive>();

    TwoFileDisc()
    {
        const auto first = Open(dir.Write("a.bin", Noise(40 * 2352, 1)), 0, 2352);
        const auto second = Open(dir.Write("b.bin", Noise(44 + 50 * 2352, 2)), 44, 2352, true);
        disc->tracks = {Track{1, 1, TrackMode::Audio, 0, 0, 0, {}, 40, ""},
                        Track{2, 1, TrackMode::Audio, 0, 40, 50, {}, 100, ""}};
        disc->sessions = {Session{1, 100, 0x00}};
        disc->capacity = 100;
        disc->extents = {Extent{0, 40, SectorFormat::Audio, first, 0},
                         Extent{50, 50, SectorFormat::Audio, second, 0}};
        drive->Insert(disc);
        drive->Execute(std::array<std::uint8_t, 6>{}, {}); // takes the new medium's UNIT ATTENTION
    }
};

std::array<std::uint8_t, 12> ReadCd(std::int32_t lba, std::uint32_t count, std::uint8_t subChannel = 0)
{
    std::array<std::uint8_t, 12> cdb{0xBE};
    PutBe32(cdb, 2, static_cast<std::uint32_t>(lba));
    PutBe24(cdb, 6, count);
    cdb[9] = 0x10; // user data: the whole audio block
    cdb[10] = subChannel;
    return cdb;
}

TEST(ReadCdRuns, BurstsEqualSingleBlockReadsAcrossFilesAndGaps)
{
    TwoFileDisc image;
    EmulatedDrive& drive = *image.drive;
    std::vector<std::uint8_t> singles(100 * 2352);
    for (std::int32_t lba = 0; lba < 100; ++lba)
        ASSERT_TRUE(drive.Execute(ReadCd(lba, 1), std::span(singles).subspan(lba * 2352u, 2352)).Good())
            << lba;
    drive.CorruptAt(60, 9, 0x0F); // inside a run: applied to its block alone
    singles[60 * 2352 + 9] ^= 0x0F;
    std::vector<std::uint8_t> burst(27 * 2352);
    for (std::int32_t lba = 0; lba + 27 <= 100; ++lba) {
        ASSERT_TRUE(drive.Execute(ReadCd(lba, 27), burst).Good()) << lba;
        EXPECT_TRUE(std::equal(burst.begin(), burst.end(), singles.begin() + lba * 2352))
            << "burst from " << lba;
    }
    image.dir.Write("a.bin", Noise(30 * 2352, 1)); // blocks 30-39 are gone
    EXPECT_TRUE(drive.Execute(ReadCd(3, 27), burst).Good());
    const ScsiResult r = drive.Execute(ReadCd(20, 15), std::span(burst).first(15 * 2352));
    ASSERT_FALSE(r.Good());
    EXPECT_EQ(r.SenseKey(), 0x03);
    EXPECT_EQ(r.sense[0] & 0x80, 0x80) << "information field valid";
    EXPECT_EQ(Be32(r.sense, 3), 30u) << "the failing block inside the run";
}

} // namespace
} // namespace tolvane::emulator
