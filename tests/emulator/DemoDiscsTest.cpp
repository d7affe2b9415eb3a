#include "emulator/DemoDiscs.h"

#include "emulator/LoaderTestUtil.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

namespace fs = std::filesystem;

using testing::ReadBlock;

// ---------------------------------------------------------------------------
// The demo CD

class DemoCd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cd_ = MakeDemoCd(); }
    static void TearDownTestSuite() { cd_.reset(); }
    static std::shared_ptr<const Disc> cd_;
};

std::shared_ptr<const Disc> DemoCd::cd_;

TEST_F(DemoCd, IsOneSessionOfSixAudioTracksOfAboutThreeMinutesWithoutHoles)
{
    const Disc& cd = *cd_;
    ASSERT_EQ(cd.sessions.size(), 1u);
    ASSERT_EQ(cd.tracks.size(), 6u);
    EXPECT_EQ(cd.capacity, cd.sessions[0].leadOut);
    EXPECT_EQ(cd.tracks.front().pregapStart, 0);
    EXPECT_EQ(cd.tracks.back().end, cd.sessions[0].leadOut);
    for (std::size_t i = 0; i < cd.tracks.size(); ++i) {
        const Track& t = cd.tracks[i];
        SCOPED_TRACE("track " + std::to_string(i + 1));
        EXPECT_EQ(t.mode, TrackMode::Audio);
        EXPECT_GE(t.Length(), 25 * 75);
        EXPECT_LE(t.Length(), 35 * 75);
        if (i + 1 < cd.tracks.size()) {
            EXPECT_EQ(t.end, cd.tracks[i + 1].pregapStart);
        }
    }
    EXPECT_GE(cd.LeadOut() / 75, 170);
    EXPECT_LE(cd.LeadOut() / 75, 190);
    // The extents serve every block as audio, in order.
    std::int32_t next = 0;
    for (const Extent& extent : cd.extents) {
        EXPECT_EQ(extent.start, next);
        EXPECT_EQ(extent.format, SectorFormat::Audio);
        next = extent.End();
    }
    EXPECT_EQ(next, cd.capacity);
}

TEST_F(DemoCd, OnlyTrackTwoHasATwoSecondIndexZeroPregapOfSilence)
{
    const Disc& cd = *cd_;
    for (const Track& t : cd.tracks) {
        EXPECT_EQ(t.start - t.pregapStart, t.number == 2 ? 150 : 0) << "track " << int{t.number};
    }
    const Track& two = cd.tracks[1];
    for (std::int32_t lba : {two.pregapStart, two.pregapStart + 75, two.start - 1}) {
        EXPECT_EQ(ReadBlock(cd, lba), std::vector<std::uint8_t>(2352, 0)) << lba;
    }
}

// The texts themselves are checked as a drive serves them (CdTextReadTest).
TEST_F(DemoCd, CdTextCodesAreTheDiscsCatalogueNumberAndTheTracksOwnIsrcs)
{
    ASSERT_EQ(cd_->cdText.size(), 1u);
    const CdTextBlock& block = cd_->cdText[0];
    EXPECT_EQ(block.Text(cdtext::UpcIsrc, 0), cd_->mcn);
    std::set<std::string> seen;
    for (std::size_t i = 1; i <= cd_->tracks.size(); ++i) {
        EXPECT_EQ(block.Text(cdtext::UpcIsrc, i), cd_->tracks[i - 1].isrc);
        EXPECT_TRUE(seen.insert(cd_->tracks[i - 1].isrc).second) << "duplicate " << cd_->tracks[i - 1].isrc;
    }
}

std::uint64_t Fnv1a(std::uint64_t hash, const std::vector<std::uint8_t>& bytes)
{
    for (std::uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001B3ull;
    }
    return hash;
}

// Pins the generated audio: the same bytes on every machine and compiler. The
// value was computed once from this generator; a change to the music changes it.
TEST_F(DemoCd, AudioIsTheSameOnEveryRun)
{
    const std::vector<std::int32_t> blocks = {0, 1, 1000, 2249, 2400, 3333, 5000, 7777, 9300, 12000, 13649};
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::int32_t lba : blocks) {
        hash = Fnv1a(hash, ReadBlock(*cd_, lba));
    }
    EXPECT_EQ(hash, 0x7F3520E30152980FULL);

    // Random access: a sector reads the same whatever was read before, and from a second disc.
    const auto again = MakeDemoCd();
    EXPECT_EQ(ReadBlock(*again, 5000), ReadBlock(*cd_, 5000));
    EXPECT_EQ(ReadBlock(*cd_, 3333), ReadBlock(*cd_, 3333));
}

struct Levels {
    int peak = 0;
    double rms = 0;
    double side = 0; // RMS of left minus right
};

Levels Measure(const Disc& disc, std::int32_t from, std::int32_t to, std::int32_t step)
{
    Levels levels;
    double sum = 0;
    double sideSum = 0;
    std::int64_t n = 0;
    for (std::int32_t lba = from; lba < to; lba += step) {
        const std::vector<std::uint8_t> block = ReadBlock(disc, lba);
        for (std::size_t i = 0; i + 4 <= block.size(); i += 4) {
            const int left = static_cast<std::int16_t>(Le16(block, i));
            const int right = static_cast<std::int16_t>(Le16(block, i + 2));
            levels.peak = std::max({levels.peak, std::abs(left), std::abs(right)});
            sum += static_cast<double>(left * left) + static_cast<double>(right * right);
            sideSum += static_cast<double>((left - right) * (left - right));
            n += 2;
        }
    }
    levels.rms = std::sqrt(sum / static_cast<double>(n));
    levels.side = std::sqrt(sideSum / static_cast<double>(n / 2));
    return levels;
}

TEST_F(DemoCd, EveryTrackIsAudibleStereoNeverClipsAndFadesInAndOut)
{
    for (const Track& t : cd_->tracks) {
        SCOPED_TRACE("track " + std::to_string(t.number));
        const Levels body = Measure(*cd_, t.start + 150, t.end - 300, 7);
        EXPECT_GT(body.rms, 1000.0) << "not silent";
        EXPECT_LT(body.peak, 30000) << "headroom left";
        EXPECT_GT(body.side, 100.0) << "left and right differ";
        EXPECT_LT(std::abs(int{static_cast<std::int16_t>(Le16(ReadBlock(*cd_, t.start), 0))}), 64);
        EXPECT_LT(Measure(*cd_, t.end - 2, t.end, 1).peak, 1000);
        EXPECT_GT(Measure(*cd_, t.end - 300, t.end - 225, 1).peak, Measure(*cd_, t.end - 75, t.end, 1).peak);
    }
}

// ---------------------------------------------------------------------------
// The demo DVD

class DemoDvd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dvd_ = MakeDemoDvd(); }
    static void TearDownTestSuite() { dvd_.reset(); }
    static std::shared_ptr<const Disc> dvd_;
};

std::shared_ptr<const Disc> DemoDvd::dvd_;

std::string Text(ConstBytes block, std::size_t offset, std::size_t size)
{
    std::string text(block.begin() + static_cast<std::ptrdiff_t>(offset),
                     block.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Both-endian fields: the little-endian copy, then the big-endian one.
struct BothEndian {
    const char* field;
    std::size_t offset;
    int width; // 2 or 4
};

class DemoDvdBothEndian : public DemoDvd, public ::testing::WithParamInterface<BothEndian> {};

TEST_P(DemoDvdBothEndian, CopiesAgree)
{
    const BothEndian& f = GetParam();
    const std::vector<std::uint8_t> pvd = ReadBlock(*dvd_, 16);
    if (f.width == 2) {
        EXPECT_EQ(Le16(pvd, f.offset), Be16(pvd, f.offset + 2)) << f.field;
    } else {
        EXPECT_EQ(Le32(pvd, f.offset), Be32(pvd, f.offset + 4)) << f.field;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PrimaryVolumeDescriptor, DemoDvdBothEndian,
    ::testing::Values(BothEndian{"volume space size", 80, 4}, BothEndian{"volume set size", 120, 2},
                      BothEndian{"volume sequence number", 124, 2}, BothEndian{"logical block size", 128, 2},
                      BothEndian{"path table size", 132, 4}, BothEndian{"root extent", 156 + 2, 4},
                      BothEndian{"root size", 156 + 10, 4}));

TEST_F(DemoDvd, PathTablesAndRootDirectoryLeadToTheReadme)
{
    const std::vector<std::uint8_t> pvd = ReadBlock(*dvd_, 16);
    const std::uint32_t root = Le32(pvd, 156 + 2);
    const std::vector<std::uint8_t> lTable = ReadBlock(*dvd_, static_cast<std::int32_t>(Le32(pvd, 140)));
    const std::vector<std::uint8_t> mTable = ReadBlock(*dvd_, static_cast<std::int32_t>(Be32(pvd, 148)));
    EXPECT_EQ(Le32(pvd, 132), 10u) << "one entry: the root";
    EXPECT_EQ(lTable[0], 1);
    EXPECT_EQ(Le32(lTable, 2), root);
    EXPECT_EQ(Le16(lTable, 6), 1);
    EXPECT_EQ(mTable[0], 1);
    EXPECT_EQ(Be32(mTable, 2), root);
    EXPECT_EQ(Be16(mTable, 6), 1);

    // Walk the root directory's records for README.TXT.
    const std::vector<std::uint8_t> directory = ReadBlock(*dvd_, static_cast<std::int32_t>(root));
    std::string readme;
    std::vector<std::string> names;
    for (std::size_t at = 0; at < directory.size() && directory[at] != 0; at += directory[at]) {
        const std::string name = Text(directory, at + 33, directory[at + 32]);
        names.push_back(name);
        EXPECT_EQ(Le32(directory, at + 2), Be32(directory, at + 6)) << name;
        if (name == "README.TXT;1") {
            const std::vector<std::uint8_t> content =
                ReadBlock(*dvd_, static_cast<std::int32_t>(Le32(directory, at + 2)));
            readme.assign(content.begin(),
                          content.begin() + static_cast<std::ptrdiff_t>(Le32(directory, at + 10)));
        }
    }
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], std::string(1, '\0'));
    EXPECT_EQ(names[1], std::string(1, '\1'));
    EXPECT_TRUE(std::is_sorted(names.begin() + 2, names.end()));
    EXPECT_NE(readme.find("demo DVD-ROM"), std::string::npos) << readme;
}

// Its fields are checked as the disc object reads them (VolumeFactsTest).
TEST_F(DemoDvd, TheDescriptorSetEndsAtBlock17AndOtherBlocksReadAsZeros)
{
    const std::vector<std::uint8_t> terminator = ReadBlock(*dvd_, 17);
    EXPECT_EQ(terminator[0], 255);
    EXPECT_EQ(Text(terminator, 1, 5), "CD001");
    for (std::int32_t lba : {0, 15, 100, 2295104, dvd_->capacity - 1}) {
        EXPECT_EQ(ReadBlock(*dvd_, lba), std::vector<std::uint8_t>(2048, 0)) << lba;
    }
}

// Debian's isoinfo (genisoimage) reads our volume descriptor as an independent check.
TEST_F(DemoDvd, IsoinfoReadsTheVolume)
{
    if (std::system("command -v isoinfo >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
    }
    const fs::path dir = fs::temp_directory_path() / ("tolvane-demo-dvd-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path iso = dir / "head.iso";
    {
        std::ofstream out(iso, std::ios::binary);
        for (std::int32_t lba = 0; lba < 40; ++lba) {
            const std::vector<std::uint8_t> block = ReadBlock(*dvd_, lba);
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size()));
        }
    }
    const auto run = [](const std::string& command) {
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                output += buffer;
            }
            ::pclose(pipe);
        }
        return output;
    };
    const std::string info = run("isoinfo -d -debug -i " + iso.string() + " 2>&1");
    const std::string files = run("isoinfo -l -i " + iso.string() + " 2>&1");
    const std::string readme = run("isoinfo -i " + iso.string() + " -x '/README.TXT;1' 2>&1");
    fs::remove_all(dir);

    EXPECT_NE(info.find("System id: TOLVANE"), std::string::npos) << info;
    EXPECT_NE(info.find("Volume id: TOLVANE_DEMO_DVD"), std::string::npos) << info;
    EXPECT_NE(info.find("Volume size is: " + std::to_string(dvd_->capacity)), std::string::npos) << info;
    EXPECT_NE(info.find("Publisher id: BREVANTIS"), std::string::npos) << info;
    EXPECT_NE(info.find("Logical block size is: 2048"), std::string::npos) << info;
    EXPECT_NE(info.find("M Path table start:     19"), std::string::npos) << info;
    EXPECT_NE(info.find("Creation Date:     2024 03 21 09:30:00.00"), std::string::npos) << info;
    EXPECT_NE(info.find("Expiration Date:   2074 03 21 09:30:00.00"), std::string::npos) << info;
    EXPECT_NE(files.find("README.TXT;1"), std::string::npos) << files;
    EXPECT_EQ(readme.rfind("TOLVANE DEMO DVD\r\n", 0), 0u) << readme;
}

} // namespace
} // namespace tolvane::emulator
