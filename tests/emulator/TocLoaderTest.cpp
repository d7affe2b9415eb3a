#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using testing::BlockOf;
using testing::ExpectExtentsCoverTracks;
using testing::MakeBlocks;
using testing::ReadBlock;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

// --- cdrdao's show-toc listing, read back: the expectations come from the tool's own output.

struct ShownTrack {
    int number = 0;
    std::string mode; // "AUDIO", "MODE1 RW" ...
    std::string isrc;
    bool copy = false;
    bool preEmphasis = false;
    bool fourChannel = false;
    std::int32_t pregap = 0;
    std::int32_t start = -1;
    std::int32_t end = -1;
    std::vector<std::int32_t> indexes;
};

struct ShownToc {
    std::string catalog;
    std::vector<ShownTrack> tracks;
};

// The frame count in "01:02:00(  4650)".
std::int32_t FramesIn(const std::string& line)
{
    const auto open = line.find('(');
    const auto close = line.find(')', open);
    return std::stoi(line.substr(open + 1, close - open - 1));
}

ShownToc ReadShowToc(const std::string& path)
{
    ShownToc toc;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        const std::string text = line.substr(first);
        if (text.rfind("CATALOG NUMBER: ", 0) == 0) {
            toc.catalog = text.substr(16);
        } else if (text.rfind("TRACK ", 0) == 0) {
            ShownTrack track;
            std::istringstream words(text.substr(6));
            words >> track.number;
            const auto mode = text.find("Mode ");
            track.mode = text.substr(mode + 5, text.rfind(':') - mode - 5);
            toc.tracks.push_back(track);
        } else if (toc.tracks.empty()) {
            continue;
        } else if (ShownTrack& track = toc.tracks.back(); text.rfind("ISRC ", 0) == 0) {
            for (const char c : text.substr(5))
                if (c != ' ')
                    track.isrc.push_back(c);
        } else if (text == "COPY PERMITTED") {
            track.copy = true;
        } else if (text == "PRE-EMPHASIS") {
            track.preEmphasis = true;
        } else if (text == "FOUR CHANNEL AUDIO") {
            track.fourChannel = true;
        } else if (text.rfind("PREGAP ", 0) == 0) {
            track.pregap = FramesIn(text);
        } else if (text.rfind("START ", 0) == 0) {
            track.start = FramesIn(text);
        } else if (text.rfind("INDEX ", 0) == 0) {
            track.indexes.push_back(FramesIn(text));
        } else if (text.rfind("END ", 0) == 0) {
            track.end = FramesIn(text);
        }
    }
    return toc;
}

TrackMode ModeOf(const std::string& shown)
{
    static const std::map<std::string, TrackMode> modes{{"AUDIO", TrackMode::Audio},
                                                        {"MODE1", TrackMode::Mode1},
                                                        {"MODE1_RAW", TrackMode::Mode1},
                                                        {"MODE2", TrackMode::Mode2},
                                                        {"MODE2_FORM1", TrackMode::Mode2Form1},
                                                        {"MODE2_FORM2", TrackMode::Mode2Form2}};
    const auto it = modes.find(shown.substr(0, shown.find(' ')));
    return it == modes.end() ? TrackMode::Mode2FormMix : it->second;
}

void ExpectMatchesShowToc(const Disc& disc, const ShownToc& shown)
{
    ASSERT_FALSE(shown.tracks.empty());
    EXPECT_EQ(disc.mcn, shown.catalog);
    ASSERT_EQ(disc.tracks.size(), shown.tracks.size());
    for (std::size_t i = 0; i < shown.tracks.size(); ++i) {
        const ShownTrack& s = shown.tracks[i];
        const Track& t = disc.tracks[i];
        SCOPED_TRACE("track " + std::to_string(s.number));
        EXPECT_EQ(t.number, s.number);
        EXPECT_EQ(t.mode, ModeOf(s.mode));
        EXPECT_EQ(t.start, s.start);
        EXPECT_EQ(t.pregapStart, s.start - s.pregap);
        EXPECT_EQ(t.end, s.end);
        EXPECT_EQ(t.moreIndexes, s.indexes);
        EXPECT_EQ(t.isrc, s.isrc);
        EXPECT_EQ((t.control & control::CopyPermitted) != 0, s.copy);
        EXPECT_EQ((t.control & control::PreEmphasis) != 0, s.preEmphasis);
        EXPECT_EQ((t.control & control::FourChannel) != 0, s.fourChannel);
        EXPECT_EQ((t.control & control::Data) != 0, t.mode != TrackMode::Audio);
    }
    EXPECT_EQ(disc.LeadOut(), shown.tracks.back().end);
    EXPECT_EQ(disc.capacity, shown.tracks.back().end);
}

std::string CaseName(std::string name)
{
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

// cdrdao's samples and the listing its show-toc printed for each (pregap1 and 2 by cdrdao 1.2.4).
const char* const GoldCases[] = {"t1",     "t2",         "t3",      "t4",     "t5",       "t6",
                                 "t7",     "t8",         "t9",      "data1",  "data2",    "data3",
                                 "data4",  "data5",      "data6",   "data7",  "mode1_rw", "mode1_rw_raw",
                                 "cdtext", "3encodings", "pregap1", "pregap2"};

std::string ShowTocOf(const std::string& name)
{
    return (name.starts_with("pregap") ? "cdrdao/generated-cdrdao-1.2.4/" : "cdrdao/gold/") + name +
           ".showtoc";
}

class CdrdaoGoldTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CdrdaoGoldTest, LayoutMatchesShowToc)
{
    const LoadResult result = LoadToc(TestDataPath(std::string("cdrdao/") + GetParam() + ".toc"));
    ASSERT_TRUE(result) << result.error;
    ExpectMatchesShowToc(*result.disc, ReadShowToc(TestDataPath(ShowTocOf(GetParam()))));
    ExpectExtentsCoverTracks(*result.disc);
    // SILENCE, ZERO and PREGAP serve zeros.
    EXPECT_EQ(ReadBlock(*result.disc, result.disc->LeadOut() - 1),
              std::vector<std::uint8_t>(
                  BytesPerSector(result.disc->FindExtent(result.disc->LeadOut() - 1)->format), 0));
}

INSTANTIATE_TEST_SUITE_P(Cdrdao, CdrdaoGoldTest, ::testing::ValuesIn(GoldCases),
                         [](const auto& info) { return CaseName(info.param); });

TEST(CdrdaoGoldListTest, EveryGoldFileIsInTheTable)
{
    std::set<std::string> listed;
    for (const char* name : GoldCases)
        listed.insert(ShowTocOf(name));
    std::set<std::string> present;
    for (const char* folder : {"cdrdao/gold", "cdrdao/generated-cdrdao-1.2.4"})
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder)))
            present.insert(std::string(folder) + "/" + entry.path().filename().string());
    EXPECT_EQ(present, listed);
}

TEST(TocLoaderTest, DiscTypeFollowsTheTocType)
{
    const std::pair<const char*, std::uint8_t> cases[] = {
        {"cdrdao/t1.toc", 0x00},    // no type given, audio only
        {"cdrdao/data6.toc", 0x00}, // CD_ROM, although its track is Mode 2
        {"cdrdao/data5.toc", 0x20}, // CD_ROM_XA
        {"cdrdao/data7.toc", 0x20},
    };
    for (const auto& [toc, type] : cases) {
        const LoadResult result = LoadToc(TestDataPath(toc));
        ASSERT_TRUE(result) << result.error;
        EXPECT_EQ(result.disc->sessions.at(0).discType, type) << toc;
    }
}

// --- whipper's tocs, read by cdrdao from real discs; their audio (data.wav) is not at hand and
// is synthesized for the lengths the tocs give.

class WhipperTocTest : public ::testing::TestWithParam<const char*> {};

// Their starts, lead-outs and catalogue numbers are checked against the peers in RealDiscsTest.
TEST_P(WhipperTocTest, SynthesizedDiscMatchesShowToc)
{
    const std::string name = GetParam();
    const std::string toc = TestDataPath("whipper/" + name + ".toc");
    const LoadResult result = LoadToc(toc, LoadOptions{true});
    ASSERT_TRUE(result) << result.error;
    const Disc& disc = *result.disc;
    ExpectMatchesShowToc(disc, ReadShowToc(TestDataPath("whipper/" + name + ".showtoc")));
    ExpectExtentsCoverTracks(disc);

    // Each synthesized block encodes its own address; SILENCE and ZERO stay zeros.
    for (const Track& t : disc.tracks) {
        const Extent* extent = disc.FindExtent(t.start);
        ASSERT_NE(extent, nullptr);
        const auto block = ReadBlock(disc, t.start);
        ASSERT_EQ(block.size(), BytesPerSector(extent->format));
        if (std::dynamic_pointer_cast<const AddressPatternSource>(extent->source)) {
            for (const std::size_t i : {std::size_t{0}, std::size_t{1}, block.size() - 1})
                EXPECT_EQ(block[i], AddressPatternSource::ByteAt(t.start, i)) << "track " << int{t.number};
        } else {
            EXPECT_EQ(block, std::vector<std::uint8_t>(block.size(), 0)) << "track " << int{t.number};
        }
    }

    // Without synthesis the missing audio is an error at its first FILE line.
    const LoadResult strict = LoadToc(toc);
    EXPECT_FALSE(strict);
    EXPECT_NE(strict.error.find("not found"), std::string::npos) << strict.error;
    EXPECT_EQ(strict.error.rfind(name + ".toc:", 0), 0u) << strict.error;
}

// capital.2 is the data session of capital alone.
INSTANTIATE_TEST_SUITE_P(Whipper, WhipperTocTest,
                         ::testing::Values("bloc", "breeders", "capital.1", "capital.2", "capital.fast",
                                           "cure", "jose", "strokes-someday", "surferrosa"),
                         [](const auto& info) { return CaseName(info.param); });

// --- CD-Text (titles and performers are checked as a drive serves them, in CdTextReadTest)

TEST(TocLoaderTest, CdrdaoCdTextWithEscapes)
{
    const LoadResult result = LoadToc(TestDataPath("cdrdao/cdtext.toc"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.disc->cdText.size(), 1u);
    const cdtext::Block& block = result.disc->cdText[0];
    EXPECT_EQ(block.language, 0x09); // "0 : EN"
    EXPECT_EQ(block.characterCode, cdtext::CharsetLatin1);
    EXPECT_EQ(block.texts.at(cdtext::DiscId), (std::vector<std::string>{"XY12345", ""}));
    // UPC_EAN "" for the disc, ISRC for the track: one pack type.
    EXPECT_EQ(block.texts.at(cdtext::UpcIsrc), (std::vector<std::string>{"", "US-XX1-98-01234"}));
    // ARRANGER, SONGWRITER, MESSAGE and GENRE are empty everywhere: no packs.
    for (const std::uint8_t type : {cdtext::Arranger, cdtext::Songwriter, cdtext::Message})
        EXPECT_EQ(block.texts.count(type), 0u) << int{type};
    EXPECT_TRUE(block.genreText.empty());
}

TEST(TocLoaderTest, ThreeEncodings)
{
    const LoadResult result = LoadToc(TestDataPath("cdrdao/3encodings.toc"));
    ASSERT_TRUE(result) << result.error;
    const auto& blocks = result.disc->cdText;
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].language, 9);
    EXPECT_EQ(blocks[1].language, 15);
    EXPECT_EQ(blocks[2].language, 105);
    EXPECT_EQ(blocks[0].characterCode, cdtext::CharsetLatin1);
    EXPECT_EQ(blocks[1].characterCode, cdtext::CharsetLatin1);
    EXPECT_EQ(blocks[2].characterCode, cdtext::CharsetMsJis);
    // The file is UTF-8; the French block becomes ISO 8859-1 bytes.
    EXPECT_EQ(blocks[1].texts.at(cdtext::Title),
              (std::vector<std::string>{"L'humidit\xE9 de l'eau", "Canicule",
                                        "Je suis liquid\xE9"
                                        "e"}));
    EXPECT_EQ(blocks[1].texts.at(cdtext::Performer)[0], "Jeannine Fran\xE7"
                                                        "aise");
    // The MS-JIS block keeps the bytes it was written with, and says so.
    EXPECT_EQ(blocks[2].texts.at(cdtext::Title)[1], "\xE7\x86\xB1\xE6\xB3\xA2"); // 熱波
    EXPECT_TRUE(std::any_of(result.warnings.begin(), result.warnings.end(),
                            [](const std::string& w) { return w.find("block 2") != std::string::npos; }));
}

TEST(TocLoaderTest, WhipperCdTextFromRealDiscs)
{
    const LoadResult jose = LoadToc(TestDataPath("whipper/jose.toc"), LoadOptions{true});
    ASSERT_TRUE(jose) << jose.error;
    EXPECT_EQ(jose.disc->cdText.at(0).genreCode, 0);
    const LoadResult breeders = LoadToc(TestDataPath("whipper/breeders.toc"), LoadOptions{true});
    ASSERT_TRUE(breeders) << breeders.error;
    EXPECT_EQ(breeders.disc->cdText.at(0).texts.at(cdtext::DiscId)[0], "CADD2803CD");
}

TEST(TocLoaderTest, GenreAndEncodingFromBinaryItems)
{
    TempDir dir;
    const LoadResult result =
        LoadToc(dir.Write("g.toc", "CD_TEXT { LANGUAGE_MAP { 0: 9 1: 7 ENCODING_MS_JIS }\n"
                                   "  LANGUAGE 0 { GENRE { 0, 5, 70, 101, 108, 0 } TITLE { 65, 66, 0 } }\n"
                                   "  LANGUAGE 1 { TITLE \"\\223\\372\" } }\n"
                                   "TRACK AUDIO SILENCE 00:01:00\n"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.disc->cdText.size(), 2u);
    EXPECT_EQ(result.disc->cdText[0].genreCode, 5);
    EXPECT_EQ(result.disc->cdText[0].genreText, "Fel");
    EXPECT_EQ(result.disc->cdText[0].texts.at(cdtext::Title)[0], "AB");
    EXPECT_EQ(result.disc->cdText[1].language, 7);
    EXPECT_EQ(result.disc->cdText[1].characterCode, cdtext::CharsetMsJis);
    EXPECT_EQ(result.disc->cdText[1].texts.at(cdtext::Title)[0], "\x93\xFA");
}

// --- Data files

TEST(TocLoaderTest, LibcdioTocServesTheRawSectors)
{
    // isofs-m1.toc: FILE in a MODE1_RAW track, length 00:00:00 = the whole file (as libcdio reads it).
    const LoadResult result = LoadToc(TestDataPath("libcdio/isofs-m1.toc"));
    ASSERT_TRUE(result) << result.error;
    ASSERT_EQ(result.disc->tracks.size(), 1u);
    EXPECT_EQ(result.disc->tracks[0].mode, TrackMode::Mode1);
    EXPECT_EQ(result.disc->LeadOut(), 302); // isofs-m1-test2.right
    EXPECT_EQ(result.disc->mcn, "");
    const auto bin = ReadBytes(TestDataPath("libcdio/isofs-m1.bin"));
    const auto block = ReadBlock(*result.disc, 16);
    ASSERT_EQ(block.size(), 2352u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), bin.begin() + 16 * 2352));
}

std::vector<std::uint8_t> Swapped(std::vector<std::uint8_t> bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TEST(TocLoaderTest, AudioFilesByteOrderAndPositions)
{
    TempDir dir;
    dir.Write("raw.bin", MakeBlocks(1, 10));
    // A WAVE file: 44-byte header, then the same blocks little-endian.
    std::vector<std::uint8_t> wave = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W',  'A', 'V',
                                      'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,    1,   0,
                                      2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,    0,   4,
                                      0,   16,  0,    'd',  'a', 't', 'a',  0xE0, 0x5B, 0,   0};
    const auto samples = MakeBlocks(2, 10);
    wave.insert(wave.end(), samples.begin(), samples.end());
    dir.Write("w.wav", wave);
    dir.Write("d.bin", MakeBlocks(3, 10, 2048));

    struct Case {
        const char* toc;
        std::int32_t blocks;
        std::vector<std::uint8_t> first; // block 0 of the disc
    };
    const Case cases[] = {
        // Raw audio files hold big-endian samples; SWAP says they are little-endian.
        {"TRACK AUDIO\nFILE \"raw.bin\" 0\n", 10, Swapped(BlockOf(1, 0))},
        {"TRACK AUDIO\nFILE \"raw.bin\" SWAP 0\n", 10, BlockOf(1, 0)},
        // Start and length as sample counts (588 a block) and as times.
        {"TRACK AUDIO\nAUDIOFILE \"raw.bin\" SWAP 1176 1764\n", 3, BlockOf(1, 2)},
        {"TRACK AUDIO\nFILE \"raw.bin\" SWAP #2352 00:00:01 00:00:04\n", 4, BlockOf(1, 2)},
        {"TRACK AUDIO\nFILE \"w.wav\" 00:00:02 00:00:05\n", 5, BlockOf(2, 2)},
        {"TRACK AUDIO\nFILE \"w.wav\" 00:00:02\n", 8, BlockOf(2, 2)},
        // Data files: blocks of the track's mode, an optional byte offset, a length in bytes or time.
        {"TRACK MODE1\nDATAFILE \"d.bin\" #2048 00:00:03\n", 3, BlockOf(3, 1, 2048)},
        {"TRACK MODE1\nDATAFILE \"d.bin\" 4096\n", 2, BlockOf(3, 0, 2048)},
        {"TRACK MODE1\nDATAFILE \"d.bin\"\n", 10, BlockOf(3, 0, 2048)},
        {"TRACK MODE1\nZERO MODE1 00:00:02\nDATAFILE \"d.bin\"\nSTART 00:00:02\n", 12,
         std::vector<std::uint8_t>(2048, 0)},
        {"/* a comment\n   over lines */ CD_DA // and one at the end\nTRACK AUDIO\nSILENCE 588\n", 1,
         std::vector<std::uint8_t>(2352, 0)},
    };
    for (const Case& c : cases) {
        const LoadResult result = LoadToc(dir.Write("a.toc", c.toc));
        ASSERT_TRUE(result) << c.toc << result.error;
        EXPECT_EQ(result.disc->LeadOut(), c.blocks) << c.toc;
        EXPECT_EQ(ReadBlock(*result.disc, 0), c.first) << c.toc;
    }
}

// --- Defects, each reported at its line.

struct DefectCase {
    const char* name;
    const char* toc;
    int line;
    const char* message;
    bool synthesize = false;
};

class TocDefectTest : public ::testing::TestWithParam<DefectCase> {};

TEST_P(TocDefectTest, RejectedAtTheLine)
{
    TempDir dir;
    dir.Write("d.bin", MakeBlocks(3, 10, 2048));
    const LoadResult result = LoadToc(dir.Write("d.toc", GetParam().toc), LoadOptions{GetParam().synthesize});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.disc, nullptr);
    const std::string where = "d.toc:" + std::to_string(GetParam().line) + ": ";
    EXPECT_EQ(result.error.rfind(where, 0), 0u) << result.error;
    EXPECT_NE(result.error.find(GetParam().message), std::string::npos) << result.error;
}

std::string HundredTracks()
{
    std::string toc;
    for (int i = 0; i < 100; ++i)
        toc += "TRACK AUDIO SILENCE 00:00:01\n";
    return toc;
}
const std::string TooManyTracks = HundredTracks();

const DefectCase Defects[] = {
    {"NoTracks", "CD_DA\n// nothing else\n", 3, "no TRACK"},
    {"UnknownMode", "TRACK MODE3\nZERO 00:01:00\n", 1, "unknown track mode"},
    {"IllegalIsrc", "TRACK AUDIO\nISRC \"DE-MUA-98\"\nSILENCE 00:01:00\n", 2, "not an ISRC"},
    {"SilenceInDataTrack", "TRACK MODE1\nSILENCE 00:01:00\n", 2, "audio tracks"},
    {"SilenceSplitsABlock", "TRACK AUDIO\nSILENCE 1000\n", 2, "whole number of blocks"},
    {"ZeroBytesSplitABlock", "TRACK MODE1\nZERO 3000\n", 2, "whole number"},
    {"StartBeyondTheEnd", "TRACK AUDIO\nSILENCE 00:01:00\nSTART 00:01:00\n", 3, "START"},
    {"StartTwice", "TRACK AUDIO\nPREGAP 00:00:10\nSILENCE 00:01:00\nSTART 00:00:20\n", 4, "already"},
    {"PregapOfZero", "TRACK AUDIO\nPREGAP 00:00:00\nSILENCE 00:01:00\n", 2, "zero"},
    {"PregapAfterData", "TRACK AUDIO\nSILENCE 00:01:00\nPREGAP 00:00:10\n", 3, "before"},
    {"IndexAtTheStart", "TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:00:00\n", 3, "start of the track"},
    {"IndexBeyondTheEnd", "TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:01:00\n", 3, "beyond the end"},
    {"IndexesOutOfOrder", "TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:00:30\nINDEX 00:00:20\n", 4, "not after"},
    {"TrackWithoutData", "TRACK AUDIO\nCOPY\nTRACK AUDIO\nSILENCE 00:01:00\n", 1, "without data"},
    {"CatalogAfterTrack", "TRACK AUDIO\nSILENCE 00:01:00\nCATALOG \"1234567890123\"\n", 3, "unexpected"},
    {"NoWithoutFlag", "TRACK AUDIO\nNO SILENCE 00:01:00\n", 2, "COPY or PRE_EMPHASIS"},
    {"UnclosedString", "TRACK AUDIO\nISRC \"DEMUA9800001\nSILENCE 00:01:00\n", 2, "not closed"},
    {"UnclosedComment", "TRACK AUDIO\n/* SILENCE 00:01:00\n", 2, "not closed"},
    {"StrayCharacter", "TRACK AUDIO\nSILENCE 00:01:00 ;\n", 2, "unexpected character"},
    {"LanguageBlockNumber", "CD_TEXT {\n  LANGUAGE 8 { TITLE \"x\" }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2,
     "0 to 7"},
    {"LanguageCode", "CD_TEXT {\n  LANGUAGE_MAP { 0 : 300 }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2, "0 to 255"},
    {"BinaryByte", "CD_TEXT {\n  LANGUAGE 0 { GENRE { 0, 256 } }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2,
     "0 to 255"},
    {"DiscItemForATrack", "TRACK AUDIO\nCD_TEXT {\n  LANGUAGE 0 { DISC_ID \"x\" }\n}\nSILENCE 1:0:0\n", 3,
     "belongs to the disc"},
    {"FileBeyondItsEnd", "TRACK MODE1\nDATAFILE \"d.bin\" 00:00:11\n", 2, "beyond the end"},
    {"FileStartBeyondItsEnd", "TRACK AUDIO\nFILE \"d.bin\" 00:01:00\n", 2, "beyond the end"},
    {"MissingFile", "TRACK AUDIO\n\nFILE \"gone.wav\" 0 00:01:00\n", 3, "\"gone.wav\" not found"},
    {"MissingFileOfUnknownLength", "TRACK AUDIO\nFILE \"gone.wav\" 0\n", 2, "no length", true},
    {"FifoData", "TRACK AUDIO\nFIFO \"/tmp/f\" 00:01:00\n", 2, "FIFO"},
    {"TooManyTracks", TooManyTracks.c_str(), 100, "more than 99"},
    {"LongerThanACd", "TRACK MODE1\nZERO 99:00:00\nTRACK MODE1\nZERO 99:00:00\n", 3, "longer than a CD"},
};

INSTANTIATE_TEST_SUITE_P(Sheets, TocDefectTest, ::testing::ValuesIn(Defects),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvane::emulator
