#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane::emulator {
namespace {

using testing::BlockOf;
using testing::ExpectedTrack;
using testing::ExpectExtentsCoverTracks;
using testing::ExpectTracks;
using testing::MakeBlocks;
using testing::ReadBlock;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

std::vector<std::uint8_t> FileBlock(const std::vector<std::uint8_t>& file, std::int32_t k,
                                    std::size_t size = 2352)
{
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(k) * static_cast<std::ptrdiff_t>(size);
    return std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(size));
}

// --- The libcdio sheets, against cd-info's goldens (cdda.right, cdda_4_5.right, isofs-m1.right,
// and p1.cue.cd-info.txt generated with cd-info 2.1.0).

struct FixtureCase {
    const char* sheet;
    const char* bin;
    std::vector<ExpectedTrack> tracks;
    std::int32_t leadOut;
    const char* mcn;
    TrackMode mode;
    std::uint8_t control; // of every track
};

class CueFixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(CueFixtureTest, TocAndDataMatchTheGoldens)
{
    const FixtureCase& c = GetParam();
    const LoadResult result = LoadImage(TestDataPath(std::string("libcdio/") + c.sheet));
    ASSERT_TRUE(result) << result.error;
    const Disc& disc = *result.disc;
    ExpectTracks(disc, c.tracks);
    ASSERT_EQ(disc.sessions.size(), 1u);
    EXPECT_EQ(disc.LeadOut(), c.leadOut);
    EXPECT_EQ(disc.capacity, c.leadOut);
    EXPECT_EQ(disc.mcn, c.mcn);
    EXPECT_EQ(disc.media, MediaKind::PressedCd);
    EXPECT_EQ(disc.status, DiscStatus::Complete);
    for (const Track& t : disc.tracks) {
        EXPECT_EQ(t.mode, c.mode);
        EXPECT_EQ(t.control, c.control);
    }
    ExpectExtentsCoverTracks(disc);

    // Blocks come from the bin file at their own position (first, middle, last).
    const auto bin = ReadBytes(TestDataPath(std::string("libcdio/") + c.bin));
    ASSERT_EQ(bin.size(), static_cast<std::size_t>(c.leadOut) * 2352);
    for (const std::int32_t lba : {0, 151, c.leadOut - 1})
        EXPECT_EQ(ReadBlock(disc, lba), FileBlock(bin, lba)) << "block " << lba;
}

std::string CaseName(std::string name)
{
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// cdda.right: track 1 at LSN 0, MCN 0000010271955; cdda_4_5.right: tracks 4 at LSN 0 and 5 at 150, no MCN;
// p1.cue.cd-info.txt: track 1 at LSN 75, track 2 at 225; isofs-m1.right: one data track, MCN 0000012101954.
// Every one has its lead-out at 302.
INSTANTIATE_TEST_SUITE_P(Libcdio, CueFixtureTest,
                         ::testing::Values(FixtureCase{"cdda.cue",
                                                       "cdda.bin",
                                                       {{1, 0, 0, 302}},
                                                       302,
                                                       "0000010271955",
                                                       TrackMode::Audio,
                                                       control::CopyPermitted},
                                           FixtureCase{"cdda_4_5.cue",
                                                       "cdda_4_5.bin",
                                                       {{4, 0, 0, 150}, {5, 150, 150, 302}},
                                                       302,
                                                       "",
                                                       TrackMode::Audio,
                                                       control::CopyPermitted},
                                           FixtureCase{"p1.cue",
                                                       "p1.bin",
                                                       {{1, 0, 75, 150}, {2, 150, 225, 302}},
                                                       302,
                                                       "0000010271955",
                                                       TrackMode::Audio,
                                                       control::CopyPermitted},
                                           FixtureCase{"isofs-m1.cue",
                                                       "isofs-m1.bin",
                                                       {{1, 0, 0, 302}},
                                                       302,
                                                       "0000012101954",
                                                       TrackMode::Mode1,
                                                       control::Data}),
                         [](const auto& info) { return CaseName(info.param.sheet); });

TEST(CueLoaderTest, RenamedImageOfASingleFileSheetIsFoundByTheSheetsName)
{
    // p1.cue names BOING.BIN; the image beside it is p1.bin, which cd-info opened too.
    const LoadResult result = LoadCue(TestDataPath("libcdio/p1.cue"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_NE(result.warnings[0].find("BOING.BIN"), std::string::npos);
    EXPECT_NE(result.warnings[0].find("p1.bin"), std::string::npos);
}

// --- libcdio's malformed sheets, each rejected for the line that is wrong. They run from a
// folder that also holds cdda.bin, so they cannot fail for a missing file instead.

struct BadCase {
    const char* file;
    int line;
};

class BadSheetTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadSheetTest, RejectedNamingTheLine)
{
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    const std::string sheet =
        dir.CopyTestData(std::string("libcdio/bad/") + GetParam().file, GetParam().file);
    const LoadResult result = LoadImage(sheet);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.disc, nullptr);
    const std::string where = std::string(GetParam().file) + ":" + std::to_string(GetParam().line) + ": ";
    EXPECT_EQ(result.error.rfind(where, 0), 0u) << result.error;
}

const BadCase BadSheets[] = {
    {"bad-cat1.cue", 4},  {"bad-cat2.cue", 4},  {"bad-cat3.cue", 4},  {"bad-mode1.cue", 6},
    {"bad-msf-1.cue", 7}, {"bad-msf-2.cue", 7}, {"bad-msf-3.cue", 7}, {"bad-cat1.toc", 4},
    {"bad-cat2.toc", 4},  {"bad-cat3.toc", 4},  {"bad-file.toc", 8},  {"bad-mode1.toc", 4},
    {"bad-msf-1.toc", 6}, {"bad-msf-2.toc", 6}, {"bad-msf-3.toc", 6},
};

INSTANTIATE_TEST_SUITE_P(Libcdio, BadSheetTest, ::testing::ValuesIn(BadSheets),
                         [](const auto& info) { return CaseName(info.param.file); });

TEST(BadSheetListTest, EveryBadSheetOfTheFolderIsInTheTable)
{
    std::set<std::string> listed;
    for (const BadCase& c : BadSheets)
        listed.insert(c.file);
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataPath("libcdio/bad"))) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".cue") || name.ends_with(".toc"))
            present.insert(name);
    }
    EXPECT_EQ(present, listed);
}

// --- Sheets written by the tests: layouts with several files, gaps and sessions.

struct ImageFile {
    std::string name;
    int tag; // MakeBlocks content
    std::int32_t blocks;
};

struct BlockSource {
    std::int32_t lba;
    int tag;            // file the block comes from; -1 for zeros
    std::int32_t block; // block of that file
};

struct LayoutCase {
    const char* name;
    const char* sheet;
    std::vector<ImageFile> files;
    std::vector<ExpectedTrack> tracks;
    std::vector<std::int32_t> leadOuts; // per session
    std::vector<BlockSource> blocks;
    std::vector<std::int32_t> moreIndexes = {}; // of the first track that has any
};

class CueLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CueLayoutTest, BlocksLandWhereTheSheetPutsThem)
{
    const LayoutCase& c = GetParam();
    TempDir dir;
    for (const ImageFile& f : c.files)
        dir.Write(f.name, MakeBlocks(f.tag, f.blocks));
    const LoadResult result = LoadCue(dir.Write("disc.cue", c.sheet));
    ASSERT_TRUE(result) << result.error;
    const Disc& disc = *result.disc;
    ExpectTracks(disc, c.tracks);
    ASSERT_EQ(disc.sessions.size(), c.leadOuts.size());
    for (std::size_t s = 0; s < c.leadOuts.size(); ++s) {
        EXPECT_EQ(disc.sessions[s].number, s + 1);
        EXPECT_EQ(disc.sessions[s].leadOut, c.leadOuts[s]) << "session " << s + 1;
    }
    EXPECT_EQ(disc.capacity, c.leadOuts.back());
    // A later session's first track starts (INDEX 01) 11,400 blocks after the lead-out before it.
    for (std::size_t t = 1; t < disc.tracks.size(); ++t) {
        if (disc.tracks[t].session != disc.tracks[t - 1].session) {
            EXPECT_EQ(disc.tracks[t].start,
                      disc.sessions[disc.tracks[t - 1].session - 1].leadOut + SessionGap);
        }
    }
    ExpectExtentsCoverTracks(disc);
    for (const BlockSource& b : c.blocks) {
        const auto expected = b.tag < 0 ? std::vector<std::uint8_t>(2352, 0) : BlockOf(b.tag, b.block);
        EXPECT_EQ(ReadBlock(disc, b.lba), expected) << "block " << b.lba;
    }
    if (!c.moreIndexes.empty()) {
        const auto track = std::find_if(disc.tracks.begin(), disc.tracks.end(),
                                        [](const Track& t) { return !t.moreIndexes.empty(); });
        ASSERT_NE(track, disc.tracks.end());
        EXPECT_EQ(track->moreIndexes, c.moreIndexes);
    }
}

// An Enhanced CD: 300 blocks of audio (two tracks), then a data session of 200 blocks in the same
// file. Session 2 begins (INDEX 01) 11,400 blocks after the session-1 lead-out at 300.
const std::vector<ExpectedTrack> EnhancedTracks = {
    {1, 0, 0, 125}, {2, 125, 125, 300}, {3, 11700, 11700, 11900, 2}};
const std::vector<BlockSource> EnhancedBlocks = {{299, 1, 299}, {11700, 1, 300}, {11899, 1, 499}};

const LayoutCase LayoutCases[] = {
    {"SeveralFiles",
     "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
     "FILE \"b.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:30\n"
     "FILE \"c.bin\" BINARY\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n    INDEX 02 00:00:20\n"
     "  TRACK 04 AUDIO\n    INDEX 01 00:00:40\n",
     {{"a.bin", 1, 100}, {"b.bin", 2, 80}, {"c.bin", 3, 60}},
     {{1, 0, 0, 100}, {2, 100, 130, 180}, {3, 180, 180, 220}, {4, 220, 220, 240}},
     {240},
     {{0, 1, 0}, {99, 1, 99}, {100, 2, 0}, {130, 2, 30}, {180, 3, 0}, {225, 3, 45}},
     {200}},
    // EAC's "non-compliant" layout: a track's INDEX 00 at the end of the previous file.
    {"PregapInThePreviousFile",
     "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 "
     "00:01:05\n"
     "FILE \"b.bin\" BINARY\n    INDEX 01 00:00:00\n",
     {{"a.bin", 1, 100}, {"b.bin", 2, 50}},
     {{1, 0, 0, 80}, {2, 80, 100, 150}},
     {150},
     {{79, 1, 79}, {80, 1, 80}, {100, 2, 0}}},
    {"PregapAndPostgapAreZerosOutsideTheFile",
     "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:10\n"
     "  TRACK 02 AUDIO\n    PREGAP 00:00:20\n    INDEX 01 00:00:50\n",
     {{"a.bin", 1, 100}},
     {{1, 0, 0, 60}, {2, 60, 80, 130}},
     {130},
     {{49, 1, 49}, {50, -1, 0}, {79, -1, 0}, {80, 1, 50}, {129, 1, 99}}},
    // Blocks before the first INDEX 01 without an INDEX 00 (a hidden track's audio) are its pregap.
    {"DataBeforeTheFirstIndex",
     "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:32\n",
     {{"a.bin", 1, 100}},
     {{1, 0, 32, 100}},
     {100},
     {{0, 1, 0}, {32, 1, 32}}},
    {"SessionsWithFilePositions",
     "FILE \"e.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "
     "00:01:50\n"
     "REM SESSION 02\n  TRACK 03 MODE1/2352\n    INDEX 01 00:04:00\n",
     {{"e.bin", 1, 500}},
     EnhancedTracks,
     {300, 11900},
     EnhancedBlocks},
    // The same disc as UltraISO writes it: 11,700 = 02:36:00 is the disc address.
    {"SessionsWithDiscAddresses",
     "FILE \"e.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "
     "00:01:50\n"
     "REM SESSION 02\n  TRACK 03 MODE1/2352\n    INDEX 01 02:36:00\n",
     {{"e.bin", 1, 500}},
     EnhancedTracks,
     {300, 11900},
     EnhancedBlocks},
    // A 150-block INDEX 00 pregap of the data track inside the file (positions 300..449).
    {"SessionPregapInTheFileWithFilePositions",
     "FILE \"e.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "
     "00:01:50\n"
     "REM SESSION 02\n  TRACK 03 MODE1/2352\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n",
     {{"e.bin", 1, 650}},
     {{1, 0, 0, 125}, {2, 125, 125, 300}, {3, 11550, 11700, 11900, 2}},
     {300, 11900},
     {{11550, 1, 300}, {11700, 1, 450}, {11899, 1, 649}}},
    {"SessionPregapInTheFileWithDiscAddresses",
     "FILE \"e.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "
     "00:01:50\n"
     "REM SESSION 02\n  TRACK 03 MODE1/2352\n    INDEX 00 02:34:00\n    INDEX 01 02:36:00\n",
     {{"e.bin", 1, 650}},
     {{1, 0, 0, 125}, {2, 125, 125, 300}, {3, 11550, 11700, 11900, 2}},
     {300, 11900},
     {{11550, 1, 300}, {11700, 1, 450}, {11899, 1, 649}}},
    {"SessionsInSeveralFiles",
     "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nREM SESSION 02\n"
     "FILE \"d.bin\" BINARY\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:00\n",
     {{"a.bin", 1, 300}, {"d.bin", 2, 200}},
     {{1, 0, 0, 300}, {2, 11700, 11700, 11900, 2}},
     {300, 11900},
     {{299, 1, 299}, {11700, 2, 0}, {11899, 2, 199}}},
};

INSTANTIATE_TEST_SUITE_P(Sheets, CueLayoutTest, ::testing::ValuesIn(LayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CueLoaderTest, SessionTypeFollowsTheModesOfItsTracks)
{
    TempDir dir;
    dir.Write("a.bin", MakeBlocks(1, 300));
    dir.Write("d.bin", MakeBlocks(2, 200));
    const LoadResult result =
        LoadCue(dir.Write("disc.cue", "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                      "REM SESSION 02\nFILE \"d.bin\" BINARY\n"
                                      "  TRACK 02 MODE2/2352\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.disc->sessions.size(), 2u);
    EXPECT_EQ(result.disc->sessions[0].discType, 0x00);
    EXPECT_EQ(result.disc->sessions[1].discType, 0x20);
    EXPECT_EQ(result.disc->tracks[1].mode, TrackMode::Mode2FormMix);
    EXPECT_EQ(result.disc->tracks[1].control, control::Data);
    // Nothing is served between the sessions.
    EXPECT_EQ(result.disc->TrackAt(300), nullptr);
    EXPECT_EQ(result.disc->FindExtent(5000), nullptr);
}

// A file of `size` bytes, zeros (unwritten) but for the parts given.
void SparseFile(const std::string& path, std::uint64_t size,
                const std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>>& parts)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, bytes] : parts)
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                  static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// Session conventions the file's length cannot tell apart: data sectors at the address position
// mean disc addresses; the ripper's REM LEAD-OUT says it outright.
TEST(CueLoaderTest, AmbiguousSessionTimesAreSettledByTheRawSectorsSync)
{
    TempDir dir;
    // 300 blocks of audio, then 12,000 data sectors that are empty but for their sync pattern;
    // INDEX 01 at 11,700 fits inside the file either way.
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> parts = {{0, MakeBlocks(1, 300)}};
    for (std::uint64_t k = 300; k < 12300; ++k)
        parts.emplace_back(k * 2352, std::vector<std::uint8_t>{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                               0xFF, 0xFF, 0xFF, 0x00});
    SparseFile(dir.File("e.bin"), std::uint64_t{12300} * 2352, parts);
    const LoadResult result =
        LoadCue(dir.Write("disc.cue", "FILE \"e.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                      "REM SESSION 02\n  TRACK 02 MODE1/2352\n    INDEX 01 02:36:00\n"));
    ASSERT_TRUE(result) << result.error;
    ExpectTracks(*result.disc, {{1, 0, 0, 300}, {2, 11700, 11700, 23700, 2}});

    // Audio where disc addresses would put the data: the times are file positions.
    SparseFile(dir.File("f.bin"), std::uint64_t{12000} * 2352, {{0, MakeBlocks(1, 1)}});
    const LoadResult positions =
        LoadCue(dir.Write("f.cue", "FILE \"f.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                   "REM SESSION 02\n  TRACK 02 MODE1/2352\n    INDEX 01 02:36:00\n"));
    ASSERT_TRUE(positions) << positions.error;
    ExpectTracks(*positions.disc, {{1, 0, 0, 11700}, {2, 23100, 23100, 23400, 2}});
    EXPECT_EQ(positions.disc->sessions[0].leadOut, 11700);
}

TEST(CueLoaderTest, AmbiguousSessionTimesFollowRemLeadOut)
{
    TempDir dir;
    // 2,048-byte data sectors have no sync to look at; the lead-out remark says 00:04:00 (300).
    SparseFile(dir.File("g.bin"), 300 * 2352 + std::uint64_t{12000} * 2048,
               {{0, MakeBlocks(1, 300)}, {300 * 2352, MakeBlocks(2, 1, 2048)}});
    const LoadResult result = LoadCue(dir.Write(
        "g.cue", "FILE \"g.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nREM LEAD-OUT 00:04:00\n"
                 "REM SESSION 02\n  TRACK 02 MODE1/2048\n    INDEX 01 02:36:00\n"));
    ASSERT_TRUE(result) << result.error;
    ExpectTracks(*result.disc, {{1, 0, 0, 300}, {2, 11700, 11700, 23700, 2}});
    EXPECT_EQ(ReadBlock(*result.disc, 11700), BlockOf(2, 0, 2048));
}

TEST(CueLoaderTest, MotorolaFilesHoldBigEndianSamples)
{
    TempDir dir;
    const auto bytes = MakeBlocks(1, 10);
    dir.Write("m.bin", bytes);
    const LoadResult result =
        LoadCue(dir.Write("m.cue", "FILE \"m.bin\" MOTOROLA\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(result) << result.error;
    auto expected = BlockOf(1, 3);
    for (std::size_t i = 0; i < expected.size(); i += 2)
        std::swap(expected[i], expected[i + 1]);
    EXPECT_EQ(ReadBlock(*result.disc, 3), expected);
}

TEST(CueLoaderTest, TracksOfDifferentSectorSizesShareAFile)
{
    TempDir dir;
    // 10 blocks of 2,048 bytes, then 20 of 2,352: block positions count blocks, not bytes.
    auto bytes = MakeBlocks(1, 10, 2048);
    const auto audio = MakeBlocks(2, 20);
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    dir.Write("mixed.bin", bytes);
    const LoadResult result =
        LoadCue(dir.Write("m.cue", "FILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                                   "  TRACK 02 AUDIO\n    INDEX 01 00:00:10\n"));
    ASSERT_TRUE(result) << result.error;
    testing::ExpectTracks(*result.disc, {{1, 0, 0, 10}, {2, 10, 10, 30}});
    EXPECT_EQ(ReadBlock(*result.disc, 9), BlockOf(1, 9, 2048));
    EXPECT_EQ(ReadBlock(*result.disc, 10), BlockOf(2, 0));
    EXPECT_EQ(ReadBlock(*result.disc, 29), BlockOf(2, 19));

    // CD+G: 96 bytes of sub-channel after each block's audio.
    dir.Write("karaoke.bin", MakeBlocks(3, 5, 2448));
    const LoadResult cdg =
        LoadCue(dir.Write("k.cue", "FILE \"karaoke.bin\" BINARY\n  TRACK 01 CDG\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(cdg) << cdg.error;
    EXPECT_EQ(cdg.disc->LeadOut(), 5);
    EXPECT_EQ(ReadBlock(*cdg.disc, 4), BlockOf(3, 4));
}

// A RIFF WAVE file with a chunk of odd size (skipped, with its pad byte) before the samples.
std::vector<std::uint8_t> WaveFile(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                   const std::vector<std::uint8_t>& samples)
{
    std::vector<std::uint8_t> out;
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    // One byte at a time: g++ 12 at -O2 misreads a range insert here as an overflow.
    const auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(t[i]));
    };
    tag("RIFF");
    put(static_cast<std::uint32_t>(4 + 24 + 8 + 5 + 1 + 8 + samples.size()), 4);
    tag("WAVE");
    tag("fmt ");
    for (const auto& [value, bytes] : {std::pair<std::uint32_t, int>{16, 4},
                                       {1, 2},
                                       {channels, 2},
                                       {rate, 4},
                                       {rate * channels * bits / 8, 4},
                                       {channels * bits / 8, 2},
                                       {bits, 2}})
        put(value, bytes);
    tag("LIST");
    put(5, 4);
    out.insert(out.end(), {'a', 'b', 'c', 'd', 'e', 0});
    tag("data");
    put(static_cast<std::uint32_t>(samples.size()), 4);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

TEST(CueLoaderTest, WaveFilesServeTheirDataChunk)
{
    TempDir dir;
    dir.Write("w.wav", WaveFile(2, 44100, 16, MakeBlocks(1, 20)));
    const LoadResult result =
        LoadCue(dir.Write("w.cue", "FILE \"w.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(result.disc->LeadOut(), 20);
    EXPECT_EQ(ReadBlock(*result.disc, 0), BlockOf(1, 0));
    EXPECT_EQ(ReadBlock(*result.disc, 19), BlockOf(1, 19));
}

TEST(CueLoaderTest, WaveFilesOtherThanCdAudioAreRejected)
{
    TempDir dir;
    const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
        {WaveFile(1, 44100, 16, MakeBlocks(1, 2)), "16-bit stereo"},
        {WaveFile(2, 48000, 16, MakeBlocks(1, 2)), "16-bit stereo"},
        {WaveFile(2, 44100, 24, MakeBlocks(1, 2)), "16-bit stereo"},
        {MakeBlocks(1, 2), "RIFF WAVE"},
    };
    for (const auto& [bytes, why] : cases) {
        dir.Write("w.wav", bytes);
        const LoadResult result = LoadCue(
            dir.Write("w.cue", "REM x\nFILE \"w.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"));
        EXPECT_FALSE(result);
        EXPECT_EQ(result.error.rfind("w.cue:2: ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(why), std::string::npos) << result.error;
    }
}

// --- CD-Text

TEST(CueLoaderTest, CdTextFileWithAndWithoutHeaderGivesThePacks)
{
    // cdtext.cdt: 96 packs and one stray byte, no header.
    const auto file = ReadBytes(TestDataPath("libcdio/cdtext.cdt"));
    ASSERT_EQ(file.size(), 96u * 18 + 1);
    const std::vector<std::uint8_t> packs(file.begin(), file.begin() + 96 * 18);

    std::vector<std::uint8_t> withHeader = {static_cast<std::uint8_t>((packs.size() + 2) >> 8),
                                            static_cast<std::uint8_t>(packs.size() + 2), 0, 0};
    withHeader.insert(withHeader.end(), packs.begin(), packs.end());
    // A header that counts the packs wrongly, as some tools write it: told by its shape.
    std::vector<std::uint8_t> badLength = withHeader;
    badLength[0] = 0;
    badLength[1] = 0x10;

    const std::pair<std::vector<std::uint8_t>, std::size_t> cases[] = {
        {file, 1}, {packs, 0}, {withHeader, 0}, {badLength, 0}};
    for (const auto& [bytes, warnings] : cases) {
        TempDir dir;
        dir.Write("Disc.CDT", bytes);
        dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
        const LoadResult result = LoadCue(dir.Write(
            "t.cue",
            "CDTEXTFILE \"disc.cdt\"\nFILE \"cdda.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"));
        ASSERT_TRUE(result) << result.error;
        EXPECT_EQ(result.disc->cdTextPacks, packs);
        EXPECT_EQ(result.warnings.size(), warnings);
    }
}

TEST(CueLoaderTest, CdTextKeywordsKeepLatin1Bytes)
{
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    const LoadResult result = LoadCue(dir.Write(
        "t.cue",
        "TITLE \"Caf\xC3\xA9 Nights\"\nPERFORMER \"Fran\xE7ois\"\nSONGWRITER \"\xE6\x97\xA5\xE6\x9C\xAC\"\n"
        "DISC_ID XY123\nUPC_EAN 1234567890123\nFILE \"cdda.bin\" BINARY\n"
        "  TRACK 01 AUDIO\n    TITLE Open Road\n    ISRC USABC0100001\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.disc->cdText.size(), 1u);
    EXPECT_EQ(result.disc->cdText[0].language, 0x09);
    const auto& texts = result.disc->cdText[0].texts;
    // UTF-8 turned into Latin-1; Latin-1 kept; Japanese (not in Latin-1) kept as written.
    EXPECT_EQ(texts.at(cdtext::Title), (std::vector<std::string>{"Caf\xE9 Nights", "Open Road"}));
    EXPECT_EQ(texts.at(cdtext::Performer)[0], "Fran\xE7ois");
    EXPECT_EQ(texts.at(cdtext::Songwriter)[0], "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(texts.at(cdtext::DiscId)[0], "XY123");
    EXPECT_EQ(texts.at(cdtext::UpcIsrc), (std::vector<std::string>{"1234567890123", "USABC0100001"}));
    EXPECT_EQ(result.disc->tracks[0].isrc, "USABC0100001");
}

// --- Finding files

TEST(CueLoaderTest, FileNamesAreFoundWithoutCaseAndWithBackslashes)
{
    const char* names[] = {"SUB\\DISC.BIN", "sub/disc.bin", "Sub\\Disc.Bin", "C:\\Rips\\Disc.bin"};
    for (const char* name : names) {
        TempDir dir;
        dir.Write("sub/disc.bin", MakeBlocks(1, 10));
        dir.Write("disc.bin", MakeBlocks(2, 10)); // for the foreign absolute path
        const std::string sheet =
            std::string("FILE \"") + name + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
        const LoadResult result = LoadCue(dir.Write("disc.cue", sheet));
        ASSERT_TRUE(result) << name << ": " << result.error;
        const int tag = std::string(name).rfind("C:", 0) == 0 ? 2 : 1;
        EXPECT_EQ(ReadBlock(*result.disc, 5), BlockOf(tag, 5)) << name;
    }
}

TEST(CueLoaderTest, MissingFileIsRejectedEvenWhenDataMayBeSynthesized)
{
    TempDir dir;
    const std::string sheet =
        dir.Write("m.cue", "REM\nFILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    for (const bool synthesize : {false, true}) {
        const LoadResult result = LoadCue(sheet, LoadOptions{synthesize});
        EXPECT_FALSE(result);
        EXPECT_EQ(result.error.rfind("m.cue:2: \"gone.bin\" not found", 0), 0u) << result.error;
    }
}

// --- Defects of hand-written sheets, each reported at its line.

struct DefectCase {
    const char* name;
    const char* sheet;
    int line;
    const char* message; // part of the message
};

class CueDefectTest : public ::testing::TestWithParam<DefectCase> {};

TEST_P(CueDefectTest, RejectedAtTheLine)
{
    TempDir dir;
    dir.Write("a.bin", MakeBlocks(1, 100));
    dir.Write("w.wav", WaveFile(2, 44100, 16, MakeBlocks(1, 10)));
    dir.Write("junk.cdt", std::string(36, 'x'));
    const LoadResult result = LoadCue(dir.Write("d.cue", GetParam().sheet));
    ASSERT_FALSE(result);
    const std::string where = "d.cue:" + std::to_string(GetParam().line) + ": ";
    EXPECT_EQ(result.error.rfind(where, 0), 0u) << result.error;
    EXPECT_NE(result.error.find(GetParam().message), std::string::npos) << result.error;
}

#define HEAD "FILE \"a.bin\" BINARY\n"
const DefectCase Defects[] = {
    {"TrackBeforeFile", "TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", 1, "before the first FILE"},
    {"IndexBeforeTrack", HEAD "INDEX 01 00:00:00\n", 2, "before the first TRACK"},
    {"TrackZero", HEAD "TRACK 00 AUDIO\n", 2, "from 1 to 99"},
    {"TrackHundred", HEAD "TRACK 100 AUDIO\n", 2, "from 1 to 99"},
    {"TrackNumbersSkip", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\nINDEX 01 00:00:10\n", 4,
     "does not follow"},
    {"NoIndexOne", HEAD "TRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:10\n", 2,
     "no INDEX 01"},
    {"IndexNumbersSkip", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nINDEX 03 00:00:10\n", 4, "out of order"},
    {"IndexGoesBack", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:20\nTRACK 02 AUDIO\nINDEX 01 00:00:10\n", 5,
     "not after"},
    {"IndexSameAsBefore", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:20\nTRACK 02 AUDIO\nINDEX 01 00:00:20\n", 5,
     "not after"},
    {"IndexBeyondTheFile", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:00\n", 5,
     "beyond the end"},
    {"LastTrackEmpty", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:25\n", 4,
     "holds no blocks"},
    {"PregapAfterIndex", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nPREGAP 00:02:00\n", 4, "before"},
    {"PostgapBeforeIndex", HEAD "TRACK 01 AUDIO\nPOSTGAP 00:02:00\n", 3, "after"},
    {"PregapBadTime", HEAD "TRACK 01 AUDIO\nPREGAP 00:02:75\n", 3, "frames"},
    {"UnknownKeyword", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nBOGUS 1\n", 4, "unknown keyword"},
    {"UnknownFlag", HEAD "TRACK 01 AUDIO\nFLAGS DCP XYZ\n", 3, "unknown flag"},
    {"BadIsrc", HEAD "TRACK 01 AUDIO\nISRC US-AB-01-00001\n", 3, "not an ISRC"},
    {"CatalogTooShort", "CATALOG 123456789012\n" HEAD, 1, "13 digits"},
    {"CatalogInATrack", HEAD "TRACK 01 AUDIO\nCATALOG 1234567890123\n", 3, "before the first TRACK"},
    {"UnknownFileType", "FILE \"a.bin\" FLAC\n", 1, "unsupported file type"},
    {"UnclosedQuote", "FILE \"a.bin BINARY\n", 1, "quote"},
    {"CdiMode", HEAD "TRACK 01 CDI/2352\n", 2, "CD-i"},
    {"DataInAWave", "FILE \"w.wav\" WAVE\nTRACK 01 MODE1/2352\n", 2, "audio only"},
    {"SessionSkipped", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 03\n", 4, "does not follow"},
    {"SessionWithoutTracks", HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 02\n", 4, "no tracks"},
    {"FileWithoutIndex", HEAD "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
     "holds no INDEX"},
    {"NoTracks", "REM nothing\n" HEAD, 3, "no TRACK"},
    {"CdTextFileIsNotPacks", "CDTEXTFILE junk.cdt\n" HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
     "not a CD-Text"},
    {"CdTextFileMissing", "CDTEXTFILE \"none.cdt\"\n" HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
     "not found"},
    {"DiscIdInATrack", HEAD "TRACK 01 AUDIO\nDISC_ID X\n", 3, "before the first TRACK"},
    {"TitleTwice", "TITLE a\nTITLE b\n", 2, "twice"},
    {"LongerThanACd",
     HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nPREGAP 99:59:00\nINDEX 01 00:00:50\n", 4,
     "longer than a CD"},
};
#undef HEAD

INSTANTIATE_TEST_SUITE_P(Sheets, CueDefectTest, ::testing::ValuesIn(Defects),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageLoaderTest, DispatchesByExtensionWhateverItsCase)
{
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    const std::string cue = "FILE \"cdda.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    EXPECT_TRUE(LoadImage(dir.Write("a.CUE", cue)));
    EXPECT_TRUE(LoadImage(dir.Write("b.Toc", "TRACK AUDIO\nSILENCE 00:01:00\n")));
    EXPECT_TRUE(LoadImage(dir.CopyTestData("libcdio/copying.iso", "c.ISO")));
    const LoadResult bin = LoadImage(dir.File("cdda.bin"));
    EXPECT_FALSE(bin);
    EXPECT_EQ(bin.error.rfind("cdda.bin: ", 0), 0u) << bin.error;
    EXPECT_FALSE(LoadImage(dir.File("absent.cue")));
}

} // namespace
} // namespace tolvane::emulator
