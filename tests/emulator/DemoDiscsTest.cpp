#include "emulator/DemoDiscs.h"

#include "emulator/ImageLoader.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

namespace fs = std::filesystem;

// The bytes of block lba, looked up in the extents directly.
std::vector<std::uint8_t> ReadBlock(const Disc& disc, std::int32_t lba)
{
    for (const Extent& extent : disc.extents) {
        if (lba >= extent.start && lba < extent.End()) {
            std::vector<std::uint8_t> out(BytesPerSector(extent.format));
            EXPECT_TRUE(extent.source->Read(extent.sourceSector + (lba - extent.start), out));
            return out;
        }
    }
    ADD_FAILURE() << "no extent holds block " << lba;
    return {};
}

bool HasHighByte(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ---------------------------------------------------------------------------
// The demo CD

class DemoCd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cd_ = MakeDemoCd(); }
    static void TearDownTestSuite() { cd_.reset(); }
    static std::shared_ptr<const Disc> cd_;
};

std::shared_ptr<const Disc> DemoCd::cd_;

TEST_F(DemoCd, IsACompletePressedAudioCdOfSixTracksOfAboutThreeMinutes)
{
    const Disc& cd = *cd_;
    EXPECT_EQ(cd.media, MediaKind::PressedCd);
    EXPECT_EQ(cd.status, DiscStatus::Complete);
    ASSERT_EQ(cd.sessions.size(), 1u);
    EXPECT_EQ(cd.sessions[0].number, 1);
    EXPECT_EQ(cd.capacity, cd.sessions[0].leadOut);
    ASSERT_EQ(cd.tracks.size(), 6u);

    EXPECT_EQ(cd.tracks.front().start, 0);
    EXPECT_EQ(cd.tracks.front().pregapStart, 0);
    EXPECT_EQ(cd.tracks.back().end, cd.sessions[0].leadOut);
    for (std::size_t i = 0; i < cd.tracks.size(); ++i) {
        const Track& t = cd.tracks[i];
        SCOPED_TRACE("track " + std::to_string(i + 1));
        EXPECT_EQ(t.number, i + 1);
        EXPECT_EQ(t.session, 1);
        EXPECT_EQ(t.mode, TrackMode::Audio);
        EXPECT_EQ(t.control & control::Data, 0);
        EXPECT_GE(t.Length(), 25 * 75);
        EXPECT_LE(t.Length(), 35 * 75);
        if (i + 1 < cd.tracks.size()) {
            EXPECT_EQ(t.end, cd.tracks[i + 1].pregapStart) << "tracks follow each other without holes";
        }
    }
    const std::int32_t seconds = cd.LeadOut() / 75;
    EXPECT_GE(seconds, 170);
    EXPECT_LE(seconds, 190);
}

TEST_F(DemoCd, OnlyTrackTwoHasATwoSecondIndexZeroPregapOfSilence)
{
    const Disc& cd = *cd_;
    for (const Track& t : cd.tracks) {
        EXPECT_EQ(t.start - t.pregapStart, t.number == 2 ? 150 : 0) << "track " << int{t.number};
    }
    const Track& two = cd.tracks[1];
    for (std::int32_t lba : {two.pregapStart, two.pregapStart + 75, two.start - 1}) {
        const std::vector<std::uint8_t> block = ReadBlock(cd, lba);
        EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; })) << lba;
    }
}

TEST_F(DemoCd, ExtentsCoverEveryBlockInOrder)
{
    const Disc& cd = *cd_;
    std::int32_t next = 0;
    for (const Extent& extent : cd.extents) {
        EXPECT_EQ(extent.start, next);
        EXPECT_GT(extent.length, 0);
        EXPECT_EQ(extent.format, SectorFormat::Audio);
        ASSERT_NE(extent.source, nullptr);
        next = extent.End();
    }
    EXPECT_EQ(next, cd.capacity);
}

TEST_F(DemoCd, CdTextNamesDiscAndTracksInLatin1)
{
    const Disc& cd = *cd_;
    ASSERT_EQ(cd.cdText.size(), 1u);
    const CdTextBlock& block = cd.cdText[0];
    EXPECT_EQ(block.language, 0x09);
    EXPECT_EQ(block.characterCode, cdtext::CharsetLatin1);
    EXPECT_EQ(block.Text(cdtext::Title, 0), "Tolvane Demo");
    EXPECT_TRUE(HasHighByte(block.Text(cdtext::Performer, 0))) << block.Text(cdtext::Performer, 0);
    for (std::size_t i = 1; i <= cd.tracks.size(); ++i) {
        for (std::uint8_t type : {cdtext::Title, cdtext::Performer}) {
            const std::string& text = block.Text(type, i);
            EXPECT_FALSE(text.empty()) << "track " << i << " type " << int{type};
            EXPECT_TRUE(HasHighByte(text)) << "track " << i << ": " << text;
            // Latin-1, not UTF-8: no lead byte of a two-byte sequence followed by a continuation byte.
            for (std::size_t k = 0; k + 1 < text.size(); ++k) {
                const auto a = static_cast<unsigned char>(text[k]);
                const auto b = static_cast<unsigned char>(text[k + 1]);
                EXPECT_FALSE((a == 0xC2 || a == 0xC3) && (b & 0xC0) == 0x80) << text;
            }
        }
        EXPECT_EQ(block.Text(cdtext::UpcIsrc, i), cd.tracks[i - 1].isrc);
    }
    EXPECT_EQ(block.Text(cdtext::UpcIsrc, 0), cd.mcn);
}

TEST_F(DemoCd, CatalogueNumberHasAValidEan13CheckDigit)
{
    const std::string& mcn = cd_->mcn;
    ASSERT_EQ(mcn.size(), 13u);
    ASSERT_TRUE(std::all_of(mcn.begin(), mcn.end(), [](char c) { return std::isdigit(c) != 0; }));
    int sum = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        sum += (mcn[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    EXPECT_EQ((10 - sum % 10) % 10, mcn[12] - '0');
    EXPECT_NE(mcn, std::string(13, '0')) << "all zeros reads as no catalogue number";
}

TEST_F(DemoCd, EveryTrackHasItsOwnWellFormedIsrc)
{
    const std::regex isrc("[A-Z]{2}[A-Z0-9]{3}[0-9]{2}[0-9]{5}");
    std::set<std::string> seen;
    for (const Track& t : cd_->tracks) {
        EXPECT_TRUE(std::regex_match(t.isrc, isrc)) << t.isrc;
        EXPECT_TRUE(seen.insert(t.isrc).second) << "duplicate " << t.isrc;
    }
}

TEST_F(DemoCd, OneTrackHasPreEmphasisAndSomeButNotAllMayBeCopied)
{
    const auto& tracks = cd_->tracks;
    const auto count = [&tracks](std::uint8_t bit) {
        return std::count_if(tracks.begin(), tracks.end(),
                             [bit](const Track& t) { return (t.control & bit) != 0; });
    };
    EXPECT_EQ(count(control::PreEmphasis), 1);
    EXPECT_GT(count(control::CopyPermitted), 0);
    EXPECT_LT(count(control::CopyPermitted), static_cast<long>(tracks.size()));
    EXPECT_EQ(count(control::FourChannel), 0);
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

TEST_F(DemoCd, EveryTrackIsAudibleStereoAndNeverClips)
{
    for (const Track& t : cd_->tracks) {
        SCOPED_TRACE("track " + std::to_string(t.number));
        const Levels body = Measure(*cd_, t.start + 150, t.end - 300, 7);
        EXPECT_GT(body.rms, 1000.0) << "not silent";
        EXPECT_LT(body.peak, 30000) << "headroom left";
        EXPECT_GT(body.side, 100.0) << "left and right differ";
    }
}

TEST_F(DemoCd, TracksFadeInAndOut)
{
    for (const Track& t : cd_->tracks) {
        SCOPED_TRACE("track " + std::to_string(t.number));
        const std::vector<std::uint8_t> first = ReadBlock(*cd_, t.start);
        EXPECT_LT(std::abs(int{static_cast<std::int16_t>(Le16(first, 0))}), 64);
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

TEST_F(DemoDvd, IsADualLayerRegionTwoDvdRomWithOneDataTrack)
{
    const Disc& dvd = *dvd_;
    EXPECT_EQ(dvd.media, MediaKind::DvdRom);
    EXPECT_EQ(dvd.status, DiscStatus::Complete);
    EXPECT_EQ(dvd.layers, 2);
    EXPECT_EQ(dvd.regions, 0x02);
    EXPECT_GT(dvd.capacity, DvdLayerBlocks);
    EXPECT_LE(dvd.capacity, 2 * DvdLayerBlocks);
    ASSERT_EQ(dvd.sessions.size(), 1u);
    EXPECT_EQ(dvd.sessions[0].leadOut, dvd.capacity);
    ASSERT_EQ(dvd.tracks.size(), 1u);
    EXPECT_EQ(dvd.tracks[0].mode, TrackMode::Mode1);
    EXPECT_EQ(dvd.tracks[0].start, 0);
    EXPECT_EQ(dvd.tracks[0].end, dvd.capacity);
    EXPECT_NE(dvd.tracks[0].control & control::Data, 0);
    ASSERT_EQ(dvd.extents.size(), 1u);
    EXPECT_EQ(dvd.extents[0].start, 0);
    EXPECT_EQ(dvd.extents[0].length, dvd.capacity);
    EXPECT_EQ(dvd.extents[0].format, SectorFormat::Mode1Data);
}

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

TEST_F(DemoDvd, PrimaryVolumeDescriptorDecodes)
{
    const std::vector<std::uint8_t> pvd = ReadBlock(*dvd_, 16);
    ASSERT_EQ(pvd.size(), 2048u);
    EXPECT_EQ(pvd[0], 1);
    EXPECT_EQ(Text(pvd, 1, 5), "CD001");
    EXPECT_EQ(pvd[6], 1);
    EXPECT_EQ(Text(pvd, 8, 32), "TOLVANE");
    EXPECT_EQ(Text(pvd, 40, 32), "TOLVANE_DEMO_DVD");
    EXPECT_EQ(static_cast<std::int32_t>(Le32(pvd, 80)), dvd_->capacity);
    EXPECT_EQ(Le16(pvd, 120), 1);
    EXPECT_EQ(Le16(pvd, 124), 1);
    EXPECT_EQ(Le16(pvd, 128), 2048);
    EXPECT_EQ(Text(pvd, 318, 128), "BREVANTIS");
    for (std::size_t offset : {190u, 446u, 574u, 702u, 739u, 776u}) {
        EXPECT_FALSE(Text(pvd, offset, 37).empty()) << "identifier at " << offset;
    }
    EXPECT_EQ(pvd[881], 1) << "file structure version";

    for (std::size_t offset : {813u, 830u, 847u, 864u}) {
        const std::string date = Text(pvd, offset, 16);
        ASSERT_EQ(date.size(), 16u) << offset;
        EXPECT_TRUE(std::all_of(date.begin(), date.end(), [](char c) { return std::isdigit(c) != 0; }))
            << date;
        const int month = std::stoi(date.substr(4, 2));
        const int day = std::stoi(date.substr(6, 2));
        EXPECT_GE(std::stoi(date.substr(0, 4)), 2000) << date;
        EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << date;
    }
    EXPECT_LT(Text(pvd, 813, 16), Text(pvd, 847, 16)) << "expires after its creation";

    const std::vector<std::uint8_t> terminator = ReadBlock(*dvd_, 17);
    EXPECT_EQ(terminator[0], 255);
    EXPECT_EQ(Text(terminator, 1, 5), "CD001");
}

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

TEST_F(DemoDvd, OtherBlocksReadAsZeros)
{
    for (std::int32_t lba : {0, 15, 100, 2295104, dvd_->capacity - 1}) {
        const std::vector<std::uint8_t> block = ReadBlock(*dvd_, lba);
        ASSERT_EQ(block.size(), 2048u);
        EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; })) << lba;
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
