// Cue sheets of rips: the text a ripper's users know, read back by our own cue loader and by
// libcdio's cd-info.
#include "rip/output/CueSheet.h"

#include "disc/WavWriter.h"
#include "emulator/ImageLoader.h"
#include "support/TestData.h"
#include "util/CdText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane::rip {
namespace {

using test::PeerOutput;
using test::TempDir;

// Three tracks: the second with a one-second pregap and an INDEX 02, the third without a pregap.
CueDisc ThreeTracks()
{
    CueDisc disc;
    disc.mcn = "0724384960650";
    disc.cddb = "1F02A403";
    disc.title = "The \"Best\" Of";
    disc.performer = "Band";
    disc.comment = "Tolvane 1.0";
    disc.tracks = {
        {1, 0, 400, 0, {}, "GBAYE6700149", 0x2, "One", "Band", "Track 1.wav"},
        {2, 400, 500, 75, {700}, "", 0x1 | 0x8, "Two\tlines", "Guest", "Track 2.wav"},
        {3, 900, 250, 0, {}, "", 0, "", "", "Track 3.wav"},
    };
    return disc;
}

// What EAC and XLD write for such a disc with pregaps appended to the previous track.
TEST(CueSheetTest, FilePerTrackPutsAPregapAtTheEndOfThePreviousFile)
{
    EXPECT_EQ(CueSheetText(ThreeTracks(), CueLayout::FilePerTrack), R"(REM DISCID 1F02A403
REM COMMENT "Tolvane 1.0"
CATALOG 0724384960650
PERFORMER "Band"
TITLE "The 'Best' Of"
FILE "Track 1.wav" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    PERFORMER "Band"
    FLAGS DCP
    ISRC GBAYE6700149
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two lines"
    PERFORMER "Guest"
    FLAGS 4CH PRE
    INDEX 00 00:04:25
FILE "Track 2.wav" WAVE
    INDEX 01 00:00:00
    INDEX 02 00:04:00
FILE "Track 3.wav" WAVE
  TRACK 03 AUDIO
    INDEX 01 00:00:00
)");
}

// A WAV file of `blocks` silent sectors.
void WriteWav(const std::string& path, std::int32_t blocks)
{
    const std::vector<std::uint8_t> samples(static_cast<std::size_t>(blocks) * WavWriter::SectorSize);
    WavWriter wav;
    ASSERT_TRUE(wav.Open(path) && wav.StartRiff() && wav.StartFormat() &&
                wav.StartData(static_cast<std::uint32_t>(samples.size())) && wav.Write(samples) &&
                wav.Complete());
}

// Writes the files a sheet names (of the lengths a rip gives them) and loads the sheet.
emulator::LoadResult WriteAndLoad(const TempDir& dir, const CueDisc& disc, CueLayout layout)
{
    if (layout == CueLayout::Image) {
        const CueTrack& last = disc.tracks.back();
        WriteWav(dir.File(disc.imageFile), last.start + last.length);
    } else {
        for (const CueTrack& track : disc.tracks)
            WriteWav(dir.File(track.file), track.length);
        if (!disc.pregapFile.empty())
            WriteWav(dir.File(disc.pregapFile), disc.tracks.front().pregap);
    }
    const std::string sheet = dir.Write("rip.cue", CueSheetText(disc, layout));
    return emulator::LoadCue(sheet);
}

// Every layout describes the same disc to a cue reader: pregaps, index points, ISRC, flags, catalog
// and CD-Text where the rip found them; a hidden first-track pregap too, whether it was ripped to
// its own file, left out as PREGAP, or is the start of the image.
TEST(CueSheetTest, OurLoaderReadsBackTheDisc)
{
    CueDisc hidden = ThreeTracks();
    hidden.pregapFile = "Track 0.wav"; // used in the file-per-track layout only
    for (CueTrack& track : hidden.tracks) {
        track.start += 33;
        for (std::int32_t& index : track.indexes)
            index += 33;
    }
    hidden.tracks[0].pregap = 33;
    CueDisc hiddenNotRipped = hidden;
    hiddenNotRipped.pregapFile.clear();

    const struct {
        const char* name;
        CueDisc disc;
        CueLayout layout;
    } cases[] = {
        {"file per track", ThreeTracks(), CueLayout::FilePerTrack},
        {"image", ThreeTracks(), CueLayout::Image},
        {"hidden track in its own file", hidden, CueLayout::FilePerTrack},
        {"hidden track not ripped", hiddenNotRipped, CueLayout::FilePerTrack},
        {"hidden track in the image", hidden, CueLayout::Image},
    };
    for (auto [name, disc, layout] : cases) {
        SCOPED_TRACE(name);
        disc.imageFile = "Image.wav";
        const TempDir dir;
        const emulator::LoadResult loaded = WriteAndLoad(dir, disc, layout);
        ASSERT_TRUE(loaded) << loaded.error << "\n" << CueSheetText(disc, layout);
        ASSERT_EQ(loaded.disc->tracks.size(), disc.tracks.size());
        EXPECT_EQ(loaded.disc->mcn, disc.mcn);
        for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
            SCOPED_TRACE(i);
            const CueTrack& ours = disc.tracks[i];
            const emulator::Track& read = loaded.disc->tracks[i];
            EXPECT_EQ(read.number, ours.number);
            EXPECT_EQ(read.pregapStart, ours.start - ours.pregap);
            EXPECT_EQ(read.start, ours.start);
            EXPECT_EQ(read.moreIndexes, ours.indexes);
            const std::int32_t end = i + 1 < disc.tracks.size()
                                         ? disc.tracks[i + 1].start - disc.tracks[i + 1].pregap
                                         : ours.start + ours.length;
            EXPECT_EQ(read.end, end);
            EXPECT_EQ(read.isrc, ours.isrc);
            EXPECT_EQ(read.control, ours.control);
        }
        EXPECT_EQ(loaded.disc->LeadOut(), disc.tracks.back().start + disc.tracks.back().length);
        ASSERT_EQ(loaded.disc->cdText.size(), 1u);
        const cdtext::Block& text = loaded.disc->cdText[0];
        EXPECT_EQ(text.Text(cdtext::Title, 0), "The 'Best' Of");
        EXPECT_EQ(text.Text(cdtext::Title, 2), "Two lines");
        EXPECT_EQ(text.Text(cdtext::Performer, 2), "Guest");
        EXPECT_EQ(text.Text(cdtext::Title, 3), "");
    }
}

// libcdio's cue reader lists the image layout's tracks at the addresses we gave, with the copy,
// four-channel and pre-emphasis flags, the catalog number and the CD-Text.
TEST(CueSheetTest, CdInfoReadsTheImageLayout)
{
    if (std::system("command -v cd-info >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
    CueDisc disc = ThreeTracks();
    disc.imageFile = "Image.bin";
    disc.imageType = "BINARY";
    const TempDir dir;
    dir.Write("Image.bin", std::string(1150 * 2352, '\0'));
    const std::string sheet = CueSheetText(disc, CueLayout::Image);
    dir.Write("Image.cue", sheet);
    const auto out =
        PeerOutput("cd '" + dir.Path() + "' && cd-info --no-device-info --no-cddb --cue-file Image.cue");
    ASSERT_TRUE(out) << "cd-info failed on:\n" << sheet;
    // "  2: 00:07:25  000400 audio  false  no    4        yes"; the lead-out is track 170.
    std::vector<std::string> listed;
    std::istringstream lines(*out);
    for (std::string line; std::getline(lines, line);) {
        int track = 0, m = 0, s = 0, f = 0, lba = 0;
        char copy[8] = {}, channels[8] = {}, emphasis[8] = {};
        const int fields = std::sscanf(line.c_str(), " %d: %d:%d:%d %d %*s %*s %7s %7s %7s", &track, &m, &s,
                                       &f, &lba, copy, channels, emphasis);
        if (fields >= 5) {
            EXPECT_EQ((m * 60 + s) * 75 + f, lba + 150) << line;
            listed.push_back(std::to_string(track) + " " + std::to_string(lba) +
                             (track == 170 ? "" : std::string(" ") + copy + " " + channels + " " + emphasis));
        }
    }
    const std::vector<std::string> expected = {"1 0 yes 2 no", "2 400 no 4 yes", "3 900 no 2 no", "170 1150"};
    EXPECT_EQ(listed, expected) << *out;
    EXPECT_NE(out->find("Media Catalog Number (MCN): 0724384960650"), std::string::npos) << *out;
    EXPECT_NE(out->find("CD-TEXT for Track  2:\n\tTITLE: Two lines\n\tPERFORMER: Guest"), std::string::npos)
        << *out;
}

} // namespace
} // namespace tolvane::rip
