// Multi-block reads served by one source call: an image file's run of sectors
// read at once must equal the same sectors read one by one, and a failure
// inside a run must still name the block that failed.
#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/SectorSource.h"
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

struct RunCase {
    std::uint64_t offset;
    std::size_t stride;
    std::size_t size; // bytes read of each sector
    bool swap;
    std::int64_t first;
    std::size_t count;
    bool ok;
};

TEST(FileSourceRuns, EqualTheSectorsReadOneByOne)
{
    TempDir dir;
    const std::string path = dir.Write("f.bin", Noise(10 * 64 + 5, 7));
    const RunCase cases[] = {
        {0, 64, 64, false, 0, 10, true},   // the whole file in one read
        {0, 64, 64, false, 3, 4, true},
        {5, 64, 64, false, 0, 10, true},   // an offset: the last sector ends at the file's end
        {6, 64, 64, false, 0, 10, false},  // one byte short
        {0, 64, 64, false, 8, 3, false},   // runs past the end
        {0, 64, 64, false, -1, 2, false},
        {0, 64, 64, false, std::int64_t{1} << 60, 2, false},
        {0, 64, 64, true, 2, 5, true},     // 16-bit samples stored big-endian
        {0, 64, 48, false, 1, 6, true},    // fewer bytes than the stride: sector by sector
        {0, 64, 48, false, 7, 4, false},
    };
    for (const RunCase& c : cases) {
        std::string error;
        const auto source = FileSource::Open(path, c.offset, c.stride, c.swap, error);
        ASSERT_NE(source, nullptr) << error;
        std::vector<std::uint8_t> run(c.count * c.size, 0xEE);
        const bool ok = source->ReadSectors(c.first, c.count, run);
        EXPECT_EQ(ok, c.ok) << "offset " << c.offset << " first " << c.first << " count " << c.count;
        if (!ok || !c.ok) {
            continue;
        }
        std::vector<std::uint8_t> single(c.size);
        for (std::size_t k = 0; k < c.count; ++k) {
            ASSERT_TRUE(source->Read(c.first + static_cast<std::int64_t>(k), single));
            EXPECT_TRUE(std::equal(single.begin(), single.end(), run.begin() + static_cast<std::ptrdiff_t>(k * c.size)))
                << "sector " << c.first + static_cast<std::int64_t>(k) << " of the run from " << c.first;
        }
    }
}

TEST(FileSourceRuns, SeeAFileThatShrankAsAFailure)
{
    TempDir dir;
    const std::string path = dir.Write("f.bin", Noise(8 * 2352, 3));
    std::string error;
    const auto source = FileSource::Open(path, 0, 2352, false, error);
    ASSERT_NE(source, nullptr) << error;
    dir.Write("f.bin", Noise(5 * 2352, 3));
    std::vector<std::uint8_t> out(4 * 2352);
    EXPECT_TRUE(source->ReadSectors(1, 4, out));
    EXPECT_FALSE(source->ReadSectors(2, 4, out));
}

// Two audio tracks from two files: the second a WAVE-like file with a header and
// big-endian samples, after a pregap of silence that no file holds.
struct TwoFileDisc {
    TempDir dir;
    std::shared_ptr<FileSource> first;
    std::shared_ptr<Disc> disc = std::make_shared<Disc>();

    TwoFileDisc()
    {
        std::string error;
        first = FileSource::Open(dir.Write("a.bin", Noise(40 * 2352, 1)), 0, 2352, false, error);
        const auto second = FileSource::Open(dir.Write("b.bin", Noise(44 + 50 * 2352, 2)), 44, 2352, true, error);
        EXPECT_TRUE(first && second) << error;
        Track one;
        one.number = 1;
        one.end = 40;
        Track two;
        two.number = 2;
        two.pregapStart = 40;
        two.start = 50;
        two.end = 100;
        disc->tracks = {one, two};
        disc->sessions = {Session{1, 100, 0x00}};
        disc->capacity = 100;
        disc->extents = {Extent{0, 40, SectorFormat::Audio, first, 0},
                         Extent{50, 50, SectorFormat::Audio, second, 0}};
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

std::shared_ptr<EmulatedDrive> Ready(std::shared_ptr<const Disc> disc)
{
    auto drive = std::make_shared<EmulatedDrive>();
    drive->Insert(std::move(disc));
    const std::array<std::uint8_t, 6> testUnitReady{};
    drive->Execute(testUnitReady, {}); // takes the new medium's UNIT ATTENTION
    return drive;
}

TEST(ReadCdRuns, BurstsEqualSingleBlockReadsAcrossFilesAndGaps)
{
    TwoFileDisc image;
    auto drive = Ready(image.disc);
    std::vector<std::uint8_t> singles(100 * 2352);
    for (std::int32_t lba = 0; lba < 100; ++lba) {
        ASSERT_TRUE(drive->Execute(ReadCd(lba, 1), std::span(singles).subspan(lba * 2352u, 2352)).Good()) << lba;
    }
    drive->CorruptAt(60, 9, 0x0F); // inside a run: applied to its block alone
    singles[60 * 2352 + 9] ^= 0x0F;
    std::vector<std::uint8_t> burst(27 * 2352);
    for (std::int32_t lba = 0; lba + 27 <= 100; ++lba) {
        ASSERT_TRUE(drive->Execute(ReadCd(lba, 27), burst).Good()) << lba;
        EXPECT_TRUE(std::equal(burst.begin(), burst.end(), singles.begin() + lba * 2352)) << "burst from " << lba;
    }
    // A buffer shorter than the answer takes its first bytes.
    std::vector<std::uint8_t> cut(3 * 2352 + 100);
    ASSERT_TRUE(drive->Execute(ReadCd(30, 27), cut).Good());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), singles.begin() + 30 * 2352));
    // With the formatted Q after each block the blocks are not back to back.
    std::vector<std::uint8_t> withQ(5 * (2352 + 16));
    ASSERT_TRUE(drive->Execute(ReadCd(36, 5, 2), withQ).Good());
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_TRUE(std::equal(withQ.begin() + static_cast<std::ptrdiff_t>(k * (2352 + 16)),
                               withQ.begin() + static_cast<std::ptrdiff_t>(k * (2352 + 16) + 2352),
                               singles.begin() + static_cast<std::ptrdiff_t>((36 + k) * 2352)))
            << "block " << 36 + k;
    }
}

TEST(ReadCdRuns, AFailureInsideARunNamesItsBlock)
{
    TwoFileDisc image;
    auto drive = Ready(image.disc);
    image.dir.Write("a.bin", Noise(30 * 2352, 1)); // blocks 30-39 are gone
    std::vector<std::uint8_t> burst(27 * 2352);
    EXPECT_TRUE(drive->Execute(ReadCd(3, 27), burst).Good());
    const ScsiResult r = drive->Execute(ReadCd(20, 15), std::span(burst).first(15 * 2352));
    ASSERT_FALSE(r.Good());
    EXPECT_EQ(r.SenseKey(), 0x03);
    EXPECT_EQ(r.sense[0] & 0x80, 0x80) << "information field valid";
    EXPECT_EQ(Be32(r.sense, 3), 30u);
}

} // namespace
} // namespace tolvane::emulator
