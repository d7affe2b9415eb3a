#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using testing::BlockOf;
using testing::ExpectExtentsCoverTracks;
using testing::MakeBlocks;
using testing::ReadBlock;
using testing::Swapped;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

// --- cdrdao's show-toc listing, read back: the expectations come from the tool's own output.

// The frame count in "01:02:00(  4650)".
std::int32_t FramesIn(const std::string& line)
{
    const auto open = line.find('(');
    return std::stoi(line.substr(open + 1, line.find(')', open) - open - 1));
}

// A track as the tests compare it, every field in one line.
std::string Describe(const Track& t)
{
    std::ostringstream out;
    out << "track " << int{t.number} << " mode " << int(t.mode) << " control " << int{t.control} << " isrc '"
        << t.isrc << "' blocks " << t.pregapStart << ' ' << t.start << ' ' << t.end << " indexes";
    for (const std::int32_t index : t.moreIndexes)
        out << ' ' << index;
    return out.str();
}

// The catalogue number and the tracks of a listing, described.
std::pair<std::string, std::vector<std::string>> ReadShowToc(const std::string& path)
{
    static const std::map<std::string, std::uint8_t> flags{{"COPY PERMITTED", control::CopyPermitted},
                                                           {"PRE-EMPHASIS", control::PreEmphasis},
                                                           {"FOUR CHANNEL AUDIO", control::FourChannel}};
    static const std::map<std::string, TrackMode> modes{{"AUDIO", TrackMode::Audio},
                                                        {"MODE1", TrackMode::Mode1},
                                                        {"MODE1_RAW", TrackMode::Mode1},
                                                        {"MODE2", TrackMode::Mode2},
                                                        {"MODE2_FORM1", TrackMode::Mode2Form1},
                                                        {"MODE2_FORM2", TrackMode::Mode2Form2}};
    std::string catalog;
    std::vector<Track> tracks;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const std::string text = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        if (text.rfind("CATALOG NUMBER: ", 0) == 0) {
            catalog = text.substr(16);
        } else if (text.rfind("TRACK ", 0) == 0) {
            // "TRACK  2  Mode MODE1 RW:"; a mode not in the table is Mode 2 of mixed forms.
            const auto name = text.find("Mode ") + 5;
            const auto mode = modes.find(text.substr(name, text.find_first_of(" :", name) - name));
            Track& t = tracks.emplace_back();
            t.number = static_cast<std::uint8_t>(std::stoi(text.substr(6)));
            t.mode = mode == modes.end() ? TrackMode::Mode2FormMix : mode->second;
            t.control = t.mode == TrackMode::Audio ? 0 : control::Data;
        } else if (tracks.empty()) {
            continue;
        } else if (Track& t = tracks.back(); text.rfind("ISRC ", 0) == 0) {
            t.isrc = text.substr(5);
            std::erase(t.isrc, ' ');
        } else if (const auto flag = flags.find(text); flag != flags.end()) {
            t.control |= flag->second;
        } else if (text.rfind("PREGAP ", 0) == 0) {
            t.pregapStart = -FramesIn(text); // START follows
        } else if (text.rfind("START ", 0) == 0) {
            t.start = FramesIn(text);
            t.pregapStart += t.start;
        } else if (text.rfind("INDEX ", 0) == 0) {
            t.moreIndexes.push_back(FramesIn(text));
        } else if (text.rfind("END ", 0) == 0) {
            t.end = FramesIn(text);
        }
    }
    std::vector<std::string> described;
    for (const Track& t : tracks)
        described.push_back(Describe(t));
    return {catalog, described};
}

void ExpectMatchesShowToc(const Disc& disc, const std::string& showToc)
{
    const auto [catalog, shown] = ReadShowToc(showToc);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(disc.mcn, catalog);
    std::vector<std::string> tracks;
    for (const Track& t : disc.tracks)
        tracks.push_back(Describe(t));
    EXPECT_EQ(tracks, shown);
    EXPECT_EQ(disc.LeadOut(), disc.tracks.back().end);
    EXPECT_EQ(disc.capacity, disc.LeadOut());
    ExpectExtentsCoverTracks(disc);
}

// cdrdao's samples, each against the listing its show-toc printed (pregap1 and 2 by cdrdao 1.2.4),
// and whipper's tocs, read by cdrdao from real discs (their starts, lead-outs and catalogue numbers
// are checked against the peers in RealDiscsTest). whipper's audio (data.wav) is not at hand and
// is synthesized for the lengths the tocs give (without synthesis a missing file is a defect,
// below); capital.2 is the data session of capital alone.
TEST(TocLoaderTest, TocsMatchShowToc)
{
    const std::map<std::string, std::uint8_t> discTypes = {
        {"t1", 0x00},    // no type given, audio only
        {"data6", 0x00}, // CD_ROM, although its track is Mode 2
        {"data5", 0x20}, // CD_ROM_XA
    };
    std::size_t checked = 0;
    for (const std::string folder : {"cdrdao/gold", "cdrdao/generated-cdrdao-1.2.4", "whipper"}) {
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder))) {
            if (entry.path().extension() != ".showtoc")
                continue;
            const std::string name = entry.path().stem().string();
            SCOPED_TRACE(name);
            const bool whipper = folder == "whipper";
            const std::string toc = TestDataPath((whipper ? "whipper/" : "cdrdao/") + name + ".toc");
            const LoadResult result = LoadToc(toc, LoadOptions{whipper});
            ASSERT_TRUE(result) << result.error;
            const Disc& disc = *result.disc;
            ExpectMatchesShowToc(disc, entry.path().string());
            if (const auto type = discTypes.find(name); type != discTypes.end()) {
                EXPECT_EQ(disc.sessions.at(0).discType, type->second);
            }
            ++checked;
            if (!whipper) { // SILENCE, ZERO and PREGAP serve zeros
                const auto last = ReadBlock(disc, disc.LeadOut() - 1);
                EXPECT_EQ(last, std::vector<std::uint8_t>(last.size(), 0));
                EXPECT_FALSE(last.empty());
            }
        }
    }
    EXPECT_EQ(checked, 22u + 9u); // every listing of the three folders
}

// --- CD-Text (titles and performers are checked as a drive serves them, in CdTextReadTest)

TEST(TocLoaderTest, CdTextOfCdrdaosSamples)
{
    const LoadResult escapes = LoadToc(TestDataPath("cdrdao/cdtext.toc"));
    ASSERT_TRUE(escapes) << escapes.error;
    ASSERT_EQ(escapes.disc->cdText.size(), 1u);
    const cdtext::Block& block = escapes.disc->cdText[0];
    EXPECT_EQ(block.language, 0x09); // "0 : EN"
    EXPECT_EQ(block.characterCode, cdtext::CharsetLatin1);
    EXPECT_EQ(block.texts.at(cdtext::DiscId), (std::vector<std::string>{"XY12345", ""}));
    // UPC_EAN "" for the disc, ISRC for the track: one pack type.
    EXPECT_EQ(block.texts.at(cdtext::UpcIsrc), (std::vector<std::string>{"", "US-XX1-98-01234"}));
    // ARRANGER and the other empty items give no packs.
    EXPECT_EQ(block.texts.count(cdtext::Arranger), 0u);

    const LoadResult three = LoadToc(TestDataPath("cdrdao/3encodings.toc"));
    ASSERT_TRUE(three) << three.error;
    const auto& blocks = three.disc->cdText;
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].language, 9);
    EXPECT_EQ(blocks[1].language, 15);
    EXPECT_EQ(blocks[2].language, 105);
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
    EXPECT_TRUE(std::any_of(three.warnings.begin(), three.warnings.end(),
                            [](const std::string& w) { return w.find("block 2") != std::string::npos; }));

    // A whipper toc of a real disc.
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
    testing::ExpectTracks(*result.disc, {{1, 0, 0, 302}}); // isofs-m1-test2.right
    EXPECT_EQ(result.disc->tracks[0].mode, TrackMode::Mode1);
    const auto bin = ReadBytes(TestDataPath("libcdio/isofs-m1.bin"));
    ASSERT_EQ(bin.size(), 302u * 2352);
    EXPECT_EQ(ReadBlock(*result.disc, 16),
              std::vector<std::uint8_t>(bin.begin() + 16 * 2352, bin.begin() + 17 * 2352));
}

TEST(TocLoaderTest, AudioFilesByteOrderAndPositions)
{
    TempDir dir;
    dir.Write("raw.bin", MakeBlocks(1, 10));
    dir.Write("w.wav", testing::WaveFile(2, 44100, 16, MakeBlocks(2, 10)));
    dir.Write("d.bin", MakeBlocks(3, 10, 2048));
    const struct {
        const char* toc;
        std::int32_t blocks;
        std::vector<std::uint8_t> first; // block 0 of the disc
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.toc);
        const LoadResult result = LoadToc(dir.Write("a.toc", c.toc));
        ASSERT_TRUE(result) << result.error;
        EXPECT_EQ(result.disc->LeadOut(), c.blocks);
        EXPECT_EQ(ReadBlock(*result.disc, 0), c.first);
    }
}

// --- Defects, each reported at its line (an unknown mode, catalogue numbers and times are
// libcdio's bad tocs, in CueLoaderTest).

TEST(TocLoaderTest, DefectsAreRejectedAtTheirLine)
{
    TempDir dir;
    dir.Write("d.bin", MakeBlocks(3, 10, 2048));
    std::string hundredTracks;
    for (int i = 0; i < 100; ++i)
        hundredTracks += "TRACK AUDIO SILENCE 00:00:01\n";
    const struct {
        std::string toc;
        int line;
        const char* message; // part of the message
        bool synthesize = false;
    } cases[] = {
        {"CD_DA\n// nothing else\n", 3, "no TRACK"},
        {"TRACK AUDIO\nISRC \"DE-MUA-98\"\nSILENCE 00:01:00\n", 2, "not an ISRC"},
        {"TRACK MODE1\nSILENCE 00:01:00\n", 2, "audio tracks"},
        {"TRACK AUDIO\nSILENCE 1000\n", 2, "whole number of blocks"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nSTART 00:01:00\n", 3, "START"},
        {"TRACK AUDIO\nPREGAP 00:00:10\nSILENCE 00:01:00\nSTART 00:00:20\n", 4, "already"},
        {"TRACK AUDIO\nPREGAP 00:00:00\nSILENCE 00:01:00\n", 2, "zero"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nPREGAP 00:00:10\n", 3, "before"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:00:00\n", 3, "start of the track"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:01:00\n", 3, "beyond the end"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nINDEX 00:00:30\nINDEX 00:00:20\n", 4, "not after"},
        {"TRACK AUDIO\nCOPY\nTRACK AUDIO\nSILENCE 00:01:00\n", 1, "without data"},
        {"TRACK AUDIO\nSILENCE 00:01:00\nCATALOG \"1234567890123\"\n", 3, "unexpected"},
        {"TRACK AUDIO\nNO SILENCE 00:01:00\n", 2, "COPY or PRE_EMPHASIS"},
        {"TRACK AUDIO\nISRC \"DEMUA9800001\nSILENCE 00:01:00\n", 2, "not closed"},
        {"TRACK AUDIO\n/* SILENCE 00:01:00\n", 2, "not closed"},
        {"TRACK AUDIO\nSILENCE 00:01:00 ;\n", 2, "unexpected character"},
        {"CD_TEXT {\n  LANGUAGE 8 { TITLE \"x\" }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2, "0 to 7"},
        {"CD_TEXT {\n  LANGUAGE_MAP { 0 : 300 }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2, "0 to 255"},
        {"CD_TEXT {\n  LANGUAGE 0 { GENRE { 0, 256 } }\n}\nTRACK AUDIO SILENCE 1:0:0\n", 2, "0 to 255"},
        {"TRACK AUDIO\nCD_TEXT {\n  LANGUAGE 0 { DISC_ID \"x\" }\n}\nSILENCE 1:0:0\n", 3,
         "belongs to the disc"},
        {"TRACK MODE1\nDATAFILE \"d.bin\" 00:00:11\n", 2, "beyond the end"},
        {"TRACK AUDIO\nFILE \"d.bin\" 00:01:00\n", 2, "beyond the end"},
        {"TRACK AUDIO\n\nFILE \"gone.wav\" 0 00:01:00\n", 3, "\"gone.wav\" not found"},
        {"TRACK AUDIO\nFILE \"gone.wav\" 0\n", 2, "no length", true},
        {"TRACK AUDIO\nFIFO \"/tmp/f\" 00:01:00\n", 2, "FIFO"},
        {hundredTracks, 100, "more than 99"},
        {"TRACK MODE1\nZERO 99:00:00\nTRACK MODE1\nZERO 99:00:00\n", 3, "longer than a CD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.toc.substr(0, 80));
        const LoadResult result = LoadToc(dir.Write("d.toc", c.toc), LoadOptions{c.synthesize});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error.rfind("d.toc:" + std::to_string(c.line) + ": ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    }
}

} // namespace
} // namespace tolvane::emulator
