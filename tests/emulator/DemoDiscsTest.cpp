#include "emulator/DemoDiscs.h"

#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using testing::ReadBlock;

const Disc& Cd()
{
    static const auto cd = MakeDemoCd();
    return *cd;
}

const Disc& Dvd()
{
    static const auto dvd = MakeDemoDvd();
    return *dvd;
}

// One session of six audio tracks without holes, served as audio in order; only track 2 has a
// two-second INDEX 00 pregap, of silence.
TEST(DemoCd, LayoutPregapAndCdTextCodes)
{
    const Disc& cd = Cd();
    ASSERT_EQ(cd.sessions.size(), 1u);
    ASSERT_EQ(cd.tracks.size(), 6u);
    EXPECT_EQ(cd.capacity, cd.sessions[0].leadOut);
    std::int32_t next = 0;
    for (const Track& t : cd.tracks) {
        SCOPED_TRACE("track " + std::to_string(t.number));
        EXPECT_EQ(t.mode, TrackMode::Audio);
        EXPECT_EQ(t.pregapStart, next);
        EXPECT_EQ(t.start - t.pregapStart, t.number == 2 ? 150 : 0);
        next = t.end;
    }
    EXPECT_EQ(next, cd.sessions[0].leadOut);
    const Track& two = cd.tracks[1];
    for (std::int32_t lba : {two.pregapStart, two.pregapStart + 75, two.start - 1})
        EXPECT_EQ(ReadBlock(cd, lba), std::vector<std::uint8_t>(2352, 0)) << lba;

    // The CD-Text codes are the disc's catalogue number and the tracks' own, distinct ISRCs.
    ASSERT_EQ(cd.cdText.size(), 1u);
    const CdTextBlock& block = cd.cdText[0];
    EXPECT_EQ(block.Text(cdtext::UpcIsrc, 0), cd.mcn);
    std::set<std::string> seen;
    for (std::size_t i = 1; i <= cd.tracks.size(); ++i) {
        EXPECT_EQ(block.Text(cdtext::UpcIsrc, i), cd.tracks[i - 1].isrc);
        EXPECT_TRUE(seen.insert(cd.tracks[i - 1].isrc).second) << "duplicate " << cd.tracks[i - 1].isrc;
    }
}

// Pins the generated audio: the same bytes on every machine and compiler (FNV-1a over some blocks,
// computed once from this generator), whatever was read before and from a second disc.
TEST(DemoCd, AudioIsTheSameOnEveryRun)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::int32_t lba : {0, 1, 1000, 2249, 2400, 3333, 5000, 7777, 9300, 12000, 13649})
        for (std::uint8_t b : ReadBlock(Cd(), lba))
            hash = (hash ^ b) * 0x100000001B3ull;
    EXPECT_EQ(hash, 0x7F3520E30152980FULL);
    EXPECT_EQ(ReadBlock(*MakeDemoCd(), 5000), ReadBlock(Cd(), 5000));
}

// The volume descriptor's both-endian fields agree, the set ends at block 17 and blocks outside the
// file system read as zeros. Its fields are checked as the disc object reads them (VolumeFactsTest),
// and the path tables, directory and readme as isoinfo reads them (below).
TEST(DemoDvd, VolumeDescriptorSetAndEmptyBlocks)
{
    const Disc& dvd = Dvd();
    const std::vector<std::uint8_t> pvd = ReadBlock(dvd, 16);
    for (const auto& [offset, width] :
         {std::pair{80, 4}, {120, 2}, {124, 2}, {128, 2}, {132, 4}, {158, 4}, {166, 4}})
        EXPECT_EQ(width == 2 ? Le16(pvd, offset) : Le32(pvd, offset),
                  width == 2 ? Be16(pvd, offset + 2) : Be32(pvd, offset + 4))
            << "offset " << offset;
    const std::vector<std::uint8_t> terminator = ReadBlock(dvd, 17);
    EXPECT_EQ(std::string(terminator.begin(), terminator.begin() + 6), "\xFF"
                                                                       "CD001");
    for (std::int32_t lba : {0, 15, 100, 2295104, dvd.capacity - 1})
        EXPECT_EQ(ReadBlock(dvd, lba), std::vector<std::uint8_t>(2048, 0)) << lba;
}

std::string Output(const std::string& command)
{
    std::string output;
    char buffer[512];
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// Debian's isoinfo (genisoimage) reads our volume as an independent check.
TEST(DemoDvd, IsoinfoReadsTheVolume)
{
    if (std::system("command -v isoinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
    std::vector<std::uint8_t> head;
    for (std::int32_t lba = 0; lba < 40; ++lba) {
        const std::vector<std::uint8_t> block = ReadBlock(Dvd(), lba);
        head.insert(head.end(), block.begin(), block.end());
    }
    const test::TempDir dir;
    const std::string iso = dir.Write("head.iso", head);
    const std::string info = Output("isoinfo -d -debug -i " + iso + " 2>&1");
    for (const std::string& line :
         {std::string("System id: TOLVANE"), std::string("Volume id: TOLVANE_DEMO_DVD"),
          "Volume size is: " + std::to_string(Dvd().capacity), std::string("Publisher id: BREVANTIS"),
          std::string("Logical block size is: 2048"), std::string("M Path table start:     19"),
          std::string("Creation Date:     2024 03 21 09:30:00.00"),
          std::string("Expiration Date:   2074 03 21 09:30:00.00")})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    const std::string files = Output("isoinfo -l -i " + iso + " 2>&1");
    EXPECT_NE(files.find("README.TXT;1"), std::string::npos) << files;
    const std::string readme = Output("isoinfo -i " + iso + " -x '/README.TXT;1' 2>&1");
    EXPECT_EQ(readme.rfind("TOLVANE DEMO DVD\r\n", 0), 0u) << readme;
}

} // namespace
} // namespace tolvane::emulator
