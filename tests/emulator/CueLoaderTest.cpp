#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using testing::BlockOf;
using testing::ExpectedTrack;
using testing::ExpectExtentsCoverTracks;
using testing::ExpectTracks;
using testing::MakeBlocks;
using testing::ReadBlock;
using testing::SparseFile;
using testing::WaveFile;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

// libcdio's sheets against cd-info's goldens (cdda.right, cdda_4_5.right, and p1.cue.cd-info.txt
// generated with cd-info 2.1.0). Their track starts, lead-outs, modes, flags and blocks are checked
// through the whole stack in RealDiscsTest and ExtractTest; here the pregaps and sessions.
TEST(CueLoaderTest, LibcdioSheetsMatchCdInfo)
{
    const std::pair<const char*, std::vector<ExpectedTrack>> cases[] = {
        {"cdda", {{1, 0, 0, 302}}},
        {"cdda_4_5", {{4, 0, 0, 150}, {5, 150, 150, 302}}},
        {"p1", {{1, 0, 75, 150}, {2, 150, 225, 302}}},
    };
    for (const auto& [name, tracks] : cases) {
        SCOPED_TRACE(name);
        const LoadResult result = LoadImage(TestDataPath(std::string("libcdio/") + name + ".cue"));
        ASSERT_TRUE(result) << result.error;
        ExpectTracks(*result.disc, tracks);
        ExpectExtentsCoverTracks(*result.disc);
        ASSERT_EQ(result.disc->sessions.size(), 1u);
    }
    // p1.cue names BOING.BIN; the image beside it is p1.bin, which cd-info opened too.
    const LoadResult p1 = LoadCue(TestDataPath("libcdio/p1.cue"));
    ASSERT_EQ(p1.warnings.size(), 1u);
    EXPECT_NE(p1.warnings[0].find("BOING.BIN"), std::string::npos);
    EXPECT_NE(p1.warnings[0].find("p1.bin"), std::string::npos);
}

// Every malformed sheet of libcdio's folder is rejected for the line that is wrong (a catalogue
// number of 9 digits or with a letter, a frame or second out of range), so the hand-written defects
// below leave those out. They run from a folder that also holds cdda.bin, so they cannot fail for a
// missing file instead.
TEST(CueLoaderTest, LibcdiosBadSheetsAreRejectedNamingTheLine)
{
    const std::map<std::string, int> lines = {
        {"bad-cat1.cue", 4},  {"bad-cat2.cue", 4},  {"bad-cat3.cue", 4},  {"bad-mode1.cue", 6},
        {"bad-msf-1.cue", 7}, {"bad-msf-2.cue", 7}, {"bad-msf-3.cue", 7}, {"bad-cat1.toc", 4},
        {"bad-cat2.toc", 4},  {"bad-cat3.toc", 4},  {"bad-file.toc", 8},  {"bad-mode1.toc", 4},
        {"bad-msf-1.toc", 6}, {"bad-msf-2.toc", 6}, {"bad-msf-3.toc", 6},
    };
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    std::size_t checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataPath("libcdio/bad"))) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".cue") && !name.ends_with(".toc"))
            continue;
        SCOPED_TRACE(name);
        ASSERT_TRUE(lines.contains(name)) << "a sheet missing from the table";
        const LoadResult result = LoadImage(dir.CopyTestData("libcdio/bad/" + name, name));
        EXPECT_FALSE(result);
        EXPECT_EQ(result.error.rfind(name + ":" + std::to_string(lines.at(name)) + ": ", 0), 0u)
            << result.error;
        ++checked;
    }
    EXPECT_EQ(checked, lines.size());
}

// --- Sheets written by the tests: file types, several files, gaps and sessions.

using Bytes = std::vector<std::uint8_t>;

struct LayoutCase {
    std::string sheet;
    std::vector<std::pair<std::string, Bytes>> files;
    std::vector<ExpectedTrack> tracks;
    std::vector<std::pair<std::int32_t, Bytes>> blocks; // disc blocks and what they hold
    std::vector<std::int32_t> moreIndexes = {};         // of every track
    TrackMode lastMode = TrackMode::Audio;
    std::uint8_t lastDiscType = 0x00; // of the last session
};

// An Enhanced CD: 300 blocks of audio (two tracks), then a data session in the same file, which
// begins (INDEX 01) 11,400 blocks after the session-1 lead-out at 300; a pregap in the file.
LayoutCase Enhanced(const char* indexes, std::int32_t pregap)
{
    return {std::string("FILE \"e.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
                        "INDEX 01 00:01:50\nREM SESSION 02\nTRACK 03 MODE1/2352\n") +
                indexes,
            {{"e.bin", MakeBlocks(1, 500 + pregap)}},
            {{1, 0, 0, 125}, {2, 125, 125, 300}, {3, 11700 - pregap, 11700, 11900, 2}},
            {{299, BlockOf(1, 299)}, {11700 - pregap, BlockOf(1, 300)}, {11899, BlockOf(1, 499 + pregap)}},
            {},
            TrackMode::Mode1};
}

Bytes Mixed() // 10 blocks of 2,048 bytes, then 20 of audio: positions count blocks, not bytes
{
    auto bytes = MakeBlocks(1, 10, 2048);
    const auto audio = MakeBlocks(2, 20);
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    return bytes;
}

const Bytes Zeros(2352, 0);

const LayoutCase LayoutCases[] = {
    // MOTOROLA files hold big-endian samples.
    {"FILE \"m.bin\" MOTOROLA\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
     {{"m.bin", MakeBlocks(1, 10)}},
     {{1, 0, 0, 10}},
     {{3, testing::Swapped(BlockOf(1, 3))}}},
    {"FILE \"w.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
     {{"w.wav", WaveFile(2, 44100, 16, MakeBlocks(1, 20))}},
     {{1, 0, 0, 20}},
     {{0, BlockOf(1, 0)}, {19, BlockOf(1, 19)}}},
    // CD+G: 96 bytes of sub-channel after each block's audio.
    {"FILE \"k.bin\" BINARY\nTRACK 01 CDG\nINDEX 01 00:00:00\n",
     {{"k.bin", MakeBlocks(3, 5, 2448)}},
     {{1, 0, 0, 5}},
     {{4, BlockOf(3, 4)}}},
    {"FILE \"x.bin\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:10\n",
     {{"x.bin", Mixed()}},
     {{1, 0, 0, 10}, {2, 10, 10, 30}},
     {{9, BlockOf(1, 9, 2048)}, {10, BlockOf(2, 0)}, {29, BlockOf(2, 19)}}},
    {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
     "FILE \"b.bin\" BINARY\nTRACK 02 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:00:30\n"
     "FILE \"c.bin\" BINARY\nTRACK 03 AUDIO\nINDEX 01 00:00:00\nINDEX 02 00:00:20\n"
     "TRACK 04 AUDIO\nINDEX 01 00:00:40\n",
     {{"a.bin", MakeBlocks(1, 100)}, {"b.bin", MakeBlocks(2, 80)}, {"c.bin", MakeBlocks(3, 60)}},
     {{1, 0, 0, 100}, {2, 100, 130, 180}, {3, 180, 180, 220}, {4, 220, 220, 240}},
     {{99, BlockOf(1, 99)}, {100, BlockOf(2, 0)}, {130, BlockOf(2, 30)}, {225, BlockOf(3, 45)}},
     {200}},
    // EAC's "non-compliant" layout: a track's INDEX 00 at the end of the previous file.
    {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:01:05\n"
     "FILE \"b.bin\" BINARY\nINDEX 01 00:00:00\n",
     {{"a.bin", MakeBlocks(1, 100)}, {"b.bin", MakeBlocks(2, 50)}},
     {{1, 0, 0, 80}, {2, 80, 100, 150}},
     {{79, BlockOf(1, 79)}, {80, BlockOf(1, 80)}, {100, BlockOf(2, 0)}}},
    {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPOSTGAP 00:00:10\n"
     "TRACK 02 AUDIO\nPREGAP 00:00:20\nINDEX 01 00:00:50\n",
     {{"a.bin", MakeBlocks(1, 100)}},
     {{1, 0, 0, 60}, {2, 60, 80, 130}},
     {{49, BlockOf(1, 49)}, {50, Zeros}, {79, Zeros}, {80, BlockOf(1, 50)}, {129, BlockOf(1, 99)}}},
    // Blocks before the first INDEX 01 without an INDEX 00 (a hidden track's audio) are its pregap.
    {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:32\n",
     {{"a.bin", MakeBlocks(1, 100)}},
     {{1, 0, 32, 100}},
     {{0, BlockOf(1, 0)}, {32, BlockOf(1, 32)}}},
    // INDEX times as positions in the file, and as UltraISO writes them (11,700 = 02:36:00 is the
    // disc address), without and with a pregap in the file.
    Enhanced("INDEX 01 00:04:00\n", 0),
    Enhanced("INDEX 01 02:36:00\n", 0),
    Enhanced("INDEX 00 00:04:00\nINDEX 01 00:06:00\n", 150),
    Enhanced("INDEX 00 02:34:00\nINDEX 01 02:36:00\n", 150),
    // A Mode 2 session makes the disc's type CD-ROM XA.
    {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nREM SESSION 02\n"
     "FILE \"d.bin\" BINARY\nTRACK 02 MODE2/2352\nINDEX 01 00:00:00\n",
     {{"a.bin", MakeBlocks(1, 300)}, {"d.bin", MakeBlocks(2, 200)}},
     {{1, 0, 0, 300}, {2, 11700, 11700, 11900, 2}},
     {{299, BlockOf(1, 299)}, {11700, BlockOf(2, 0)}, {11899, BlockOf(2, 199)}},
     {},
     TrackMode::Mode2FormMix,
     0x20},
};

TEST(CueLoaderTest, BlocksLandWhereTheSheetPutsThem)
{
    for (const LayoutCase& c : LayoutCases) {
        SCOPED_TRACE(c.sheet);
        TempDir dir;
        for (const auto& [name, bytes] : c.files)
            dir.Write(name, bytes);
        const LoadResult result = LoadCue(dir.Write("disc.cue", c.sheet));
        ASSERT_TRUE(result) << result.error;
        const Disc& disc = *result.disc;
        ExpectTracks(disc, c.tracks);
        ExpectExtentsCoverTracks(disc);
        ASSERT_EQ(disc.sessions.size(), std::size_t{disc.tracks.back().session});
        EXPECT_EQ(disc.capacity, disc.tracks.back().end);
        EXPECT_EQ(disc.tracks.back().mode, c.lastMode);
        EXPECT_EQ(disc.tracks.back().control, c.lastMode == TrackMode::Audio ? 0 : control::Data);
        EXPECT_EQ(disc.sessions.back().discType, c.lastDiscType);
        // Each session's lead-out follows its last track, and nothing is served from it to the
        // next session's first track (which the rows put 11,400 blocks later).
        for (const Session& session : disc.sessions) {
            ASSERT_NE(disc.TrackAt(session.leadOut - 1), nullptr);
            EXPECT_EQ(disc.TrackAt(session.leadOut - 1)->session, session.number);
            EXPECT_EQ(disc.TrackAt(session.leadOut), nullptr);
            EXPECT_EQ(disc.FindExtent(session.leadOut + 100), nullptr);
        }
        std::vector<std::int32_t> indexes;
        for (const Track& track : disc.tracks)
            indexes.insert(indexes.end(), track.moreIndexes.begin(), track.moreIndexes.end());
        EXPECT_EQ(indexes, c.moreIndexes);
        for (const auto& [lba, block] : c.blocks)
            EXPECT_EQ(ReadBlock(disc, lba), block) << "block " << lba;
    }
}

// Session conventions the file's length cannot tell apart: data sectors at the address position
// mean disc addresses, audio there means file positions; the ripper's REM LEAD-OUT says it outright.
TEST(CueLoaderTest, AmbiguousSessionTimesAreSettledByTheSyncOrRemLeadOut)
{
    TempDir dir;
    const auto sheet = [&dir](const std::string& file, const std::string& remark, const std::string& mode) {
        return dir.Write(file + ".cue", "FILE \"" + file +
                                            ".bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n" + remark +
                                            "REM SESSION 02\nTRACK 02 " + mode + "\nINDEX 01 02:36:00\n");
    };
    // 300 blocks of audio, then 12,000 data sectors that are empty but for their sync pattern;
    // INDEX 01 at 11,700 fits inside the file either way.
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> parts = {{0, MakeBlocks(1, 300)}};
    for (std::uint64_t k = 300; k < 12300; ++k)
        parts.emplace_back(k * 2352, std::vector<std::uint8_t>{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                               0xFF, 0xFF, 0xFF, 0x00});
    SparseFile(dir.File("e.bin"), std::uint64_t{12300} * 2352, parts);
    const LoadResult sync = LoadCue(sheet("e", "", "MODE1/2352"));
    ASSERT_TRUE(sync) << sync.error;
    ExpectTracks(*sync.disc, {{1, 0, 0, 300}, {2, 11700, 11700, 23700, 2}});

    SparseFile(dir.File("f.bin"), std::uint64_t{12000} * 2352, {{0, MakeBlocks(1, 1)}});
    const LoadResult audio = LoadCue(sheet("f", "", "MODE1/2352"));
    ASSERT_TRUE(audio) << audio.error;
    ExpectTracks(*audio.disc, {{1, 0, 0, 11700}, {2, 23100, 23100, 23400, 2}});

    // 2,048-byte data sectors have no sync to look at; the lead-out remark says 00:04:00 (300).
    SparseFile(dir.File("g.bin"), 300 * 2352 + std::uint64_t{12000} * 2048,
               {{0, MakeBlocks(1, 300)}, {300 * 2352, MakeBlocks(2, 1, 2048)}});
    const LoadResult hinted = LoadCue(sheet("g", "REM LEAD-OUT 00:04:00\n", "MODE1/2048"));
    ASSERT_TRUE(hinted) << hinted.error;
    ExpectTracks(*hinted.disc, {{1, 0, 0, 300}, {2, 11700, 11700, 23700, 2}});
    EXPECT_EQ(ReadBlock(*hinted.disc, 11700), BlockOf(2, 0, 2048));

    // A file that holds the whole gap between the sessions as INDEX 00 leaves nothing to settle.
    SparseFile(dir.File("h.bin"), 300 * 2352 + std::uint64_t{11600} * 2048, {{0, MakeBlocks(1, 300)}});
    const LoadResult held =
        LoadCue(dir.Write("h.cue", "FILE \"h.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                   "REM SESSION 02\nTRACK 02 MODE1/2048\nINDEX 00 00:04:00\n"
                                   "INDEX 01 02:36:00\n"));
    ASSERT_TRUE(held) << held.error;
    EXPECT_EQ(held.warnings, std::vector<std::string>{});
    ASSERT_EQ(held.disc->tracks.size(), 2u);
    EXPECT_EQ(held.disc->tracks[1].start, 11700);
}

// --- CD-Text

TEST(CueLoaderTest, CdTextFileWithAndWithoutHeaderGivesThePacks)
{
    // cdtext.cdt: 96 packs and one stray byte (warned about), no header.
    const auto file = ReadBytes(TestDataPath("libcdio/cdtext.cdt"));
    ASSERT_EQ(file.size(), 96u * 18 + 1);
    const Bytes packs(file.begin(), file.end() - 1);
    Bytes header = {0x06, 0xC2, 0, 0}; // the length of the packs and 2
    header.insert(header.end(), packs.begin(), packs.end());
    // A header that counts the packs wrongly, as some tools write it: told by its shape.
    Bytes badLength = header;
    badLength[0] = 0;
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    const std::string sheet = dir.Write(
        "t.cue", "CDTEXTFILE \"disc.cdt\"\nFILE \"cdda.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    for (const auto& [bytes, warnings] : {std::pair{file, 1u}, {header, 0u}, {badLength, 0u}}) {
        dir.Write("Disc.CDT", bytes);
        const LoadResult result = LoadCue(sheet);
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
        "TRACK 01 AUDIO\nTITLE Open Road\nISRC USABC0100001\nINDEX 01 00:00:00\n"));
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

TEST(CueLoaderTest, FileNamesAreFoundWithoutCaseAndWithBackslashes)
{
    // A foreign absolute path is looked for beside the sheet.
    const std::pair<const char*, int> cases[] = {
        {"SUB\\DISC.BIN", 1}, {"sub/disc.bin", 1}, {"Sub\\Disc.Bin", 1}, {"C:\\Rips\\Disc.bin", 2}};
    for (const auto& [name, tag] : cases) {
        TempDir dir;
        dir.Write("sub/disc.bin", MakeBlocks(1, 10));
        dir.Write("disc.bin", MakeBlocks(2, 10));
        const LoadResult result = LoadCue(dir.Write(
            "disc.cue", std::string("FILE \"") + name + "\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
        ASSERT_TRUE(result) << name << ": " << result.error;
        EXPECT_EQ(ReadBlock(*result.disc, 5), BlockOf(tag, 5)) << name;
    }
}

// --- Defects of hand-written sheets, each reported at its line.

TEST(CueLoaderTest, DefectsAreRejectedAtTheirLine)
{
    TempDir dir;
    dir.Write("a.bin", MakeBlocks(1, 100));
    dir.Write("w.wav", WaveFile(2, 44100, 16, MakeBlocks(1, 10)));
    dir.Write("mono.wav", WaveFile(1, 44100, 16, MakeBlocks(1, 2)));
    dir.Write("48k.wav", WaveFile(2, 48000, 16, MakeBlocks(1, 2)));
    dir.Write("24bit.wav", WaveFile(2, 44100, 24, MakeBlocks(1, 2)));
    dir.Write("raw.wav", MakeBlocks(1, 2));
    dir.Write("junk.cdt", std::string(36, 'x'));
#define HEAD "FILE \"a.bin\" BINARY\n"
#define AUDIO "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
#define ONE HEAD AUDIO
    const struct {
        const char* sheet;
        int line;
        const char* message; // part of the message
        bool synthesize = false;
    } cases[] = {
        {"TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", 1, "before the first FILE"},
        {HEAD "INDEX 01 00:00:00\n", 2, "before the first TRACK"},
        {HEAD "TRACK 00 AUDIO\n", 2, "from 1 to 99"},
        {HEAD "TRACK 100 AUDIO\n", 2, "from 1 to 99"},
        {ONE "TRACK 03 AUDIO\nINDEX 01 00:00:10\n", 4, "does not follow"},
        {HEAD "TRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:10\n", 2, "no INDEX 01"},
        {ONE "INDEX 03 00:00:10\n", 4, "out of order"},
        {HEAD "TRACK 01 AUDIO\nINDEX 01 00:00:20\nTRACK 02 AUDIO\nINDEX 01 00:00:20\n", 5, "not after"},
        {ONE "TRACK 02 AUDIO\nINDEX 01 00:02:00\n", 5, "beyond the end"},
        {ONE "TRACK 02 AUDIO\nINDEX 01 00:01:25\n", 4, "holds no blocks"},
        {ONE "PREGAP 00:02:00\n", 4, "before"},
        {HEAD "TRACK 01 AUDIO\nPOSTGAP 00:02:00\n", 3, "after"},
        // Messages keep the sheet's UTF-8, even beyond 16 bits.
        {ONE "BOGUS\xF0\x9F\x8E\xB5 1\n", 4, "unknown keyword BOGUS\xF0\x9F\x8E\xB5"},
        {HEAD "TRACK 01 AUDIO\nFLAGS DCP XYZ\n", 3, "unknown flag"},
        {HEAD "TRACK 01 AUDIO\nISRC US-AB-01-00001\n", 3, "not an ISRC"},
        {HEAD "TRACK 01 AUDIO\nCATALOG 1234567890123\n", 3, "before the first TRACK"},
        {"TITLE a\nTITLE b\n", 2, "twice"},
        {"FILE \"a.bin\" FLAC\n", 1, "unsupported file type"},
        {"FILE \"a.bin BINARY\n", 1, "quote"},
        {HEAD "TRACK 01 CDI/2352\n", 2, "CD-i"},
        {"FILE \"w.wav\" WAVE\nTRACK 01 MODE1/2352\n", 2, "audio only"},
        {"FILE \"mono.wav\" WAVE\n" AUDIO, 1, "16-bit stereo"},
        {"FILE \"48k.wav\" WAVE\n" AUDIO, 1, "16-bit stereo"},
        {"FILE \"24bit.wav\" WAVE\n" AUDIO, 1, "16-bit stereo"},
        {"FILE \"raw.wav\" WAVE\n" AUDIO, 1, "RIFF WAVE"},
        {ONE "REM SESSION 03\n", 4, "does not follow"},
        {ONE "REM SESSION 02\n", 4, "no tracks"},
        {HEAD ONE, 1, "holds no INDEX"},
        {"REM nothing\n" HEAD, 3, "no TRACK"},
        {"CDTEXTFILE junk.cdt\n" ONE, 1, "not a CD-Text"},
        {"CDTEXTFILE \"none.cdt\"\n" ONE, 1, "not found"},
        // A missing file is an error even when missing data may be synthesized.
        {"REM\nFILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 2, "\"gone.bin\" not found"},
        {"REM\nFILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 2, "\"gone.bin\" not found",
         true},
        {ONE "TRACK 02 AUDIO\nPREGAP 99:59:00\nINDEX 01 00:00:50\n", 4, "longer than a CD"},
    };
#undef ONE
#undef AUDIO
#undef HEAD
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sheet);
        const LoadResult result = LoadCue(dir.Write("d.cue", c.sheet), LoadOptions{c.synthesize});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error.rfind("d.cue:" + std::to_string(c.line) + ": ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    }
}

TEST(ImageLoaderTest, DispatchesByExtensionWhateverItsCase)
{
    TempDir dir;
    dir.CopyTestData("libcdio/cdda.bin", "cdda.bin");
    EXPECT_TRUE(
        LoadImage(dir.Write("a.CUE", "FILE \"cdda.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n")));
    EXPECT_TRUE(LoadImage(dir.Write("b.Toc", "TRACK AUDIO\nSILENCE 00:01:00\n")));
    EXPECT_TRUE(LoadImage(dir.CopyTestData("libcdio/copying.iso", "c.ISO")));
    const LoadResult bin = LoadImage(dir.File("cdda.bin"));
    EXPECT_FALSE(bin);
    EXPECT_EQ(bin.error.rfind("cdda.bin: ", 0), 0u) << bin.error;
    EXPECT_FALSE(LoadImage(dir.File("absent.cue")));
}

} // namespace
} // namespace tolvane::emulator
