// The sheet of a rip built from the disc object of a virtual drive: what the disc knows goes
// into it, and the pregaps go only where the files they belong to are.
#include "rip/output/DiscSheet.h"

#include "emulator/DemoDiscs.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane::rip {
namespace {

std::vector<SheetTrack> Files(const std::vector<int>& numbers)
{
    std::vector<SheetTrack> tracks;
    for (const int n : numbers)
        tracks.push_back({n, "Track " + std::to_string(n) + ".wav", "T" + std::to_string(n), ""});
    return tracks;
}

TEST(DiscSheetTest, TheDiscsFactsAndTheFilesNames)
{
    test::VirtualRig rig(emulator::MakeDemoCd());
    ASSERT_TRUE(rig.disc->Check() && rig.disc->Read()) << rig.disc->ErrorMessage();
    const CueDisc sheet = SheetOfDisc(*rig.disc, Files({1, 2, 3}), {"Album", "Band", "Tolvane 1.0"});
    EXPECT_EQ(sheet.mcn, rig.disc->CD()->UPC());
    EXPECT_EQ(sheet.cddb, rig.disc->CD()->CDDB());
    EXPECT_EQ(sheet.title, "Album");
    EXPECT_EQ(sheet.comment, "Tolvane 1.0");
    ASSERT_EQ(sheet.tracks.size(), 3u);
    for (const CueTrack& t : sheet.tracks) {
        SCOPED_TRACE(t.number);
        const auto track = rig.disc->Track(static_cast<std::int16_t>(t.number));
        EXPECT_EQ(t.start, track->LBA());
        EXPECT_EQ(t.length, track->LogicalBlocks());
        EXPECT_EQ(t.isrc, track->ISRC());
        EXPECT_EQ((t.control & 0x2) != 0, track->DigitalCopy());
        EXPECT_EQ((t.control & 0x1) != 0, track->Preemphasis2() || track->Preemphasis4());
        EXPECT_EQ(t.file, "Track " + std::to_string(t.number) + ".wav");
        EXPECT_EQ(t.title, "T" + std::to_string(t.number));
        EXPECT_EQ(t.pregap, 0) << "the demo's first track starts at address 0";
    }
    // The demo disc has both kinds of track: the flags differ from track to track.
    EXPECT_NE(sheet.tracks[0].control, sheet.tracks[1].control);
}

TEST(DiscSheetTest, PregapsGoWhereTheirFilesAre)
{
    // t9.toc: track 1 starts at 375 (five seconds of audio before it), the others follow.
    test::VirtualRig rig(test::LoadTestImage("cdrdao/t9.toc"));
    ASSERT_TRUE(rig.disc->Check() && rig.disc->Read()) << rig.disc->ErrorMessage();
    const CueDisc whole = SheetOfDisc(*rig.disc, Files({1, 2, 3}), {});
    EXPECT_EQ(whole.tracks[0].pregap, 375) << "the audio before the first track";
    EXPECT_EQ(whole.mcn, "0724385356926");
    EXPECT_EQ(whole.tracks[0].isrc, "USEM39600078");

    // Gaps of a scan: track 2's INDEX 00 lies in track 1's file, track 4's would lie in track 3's,
    // which this rip did not copy.
    DiscGaps gaps;
    const auto gapOf = [&rig](int n, std::int32_t pregap, std::vector<std::pair<std::uint8_t, std::int32_t>> more) {
        TrackGaps g;
        g.number = static_cast<std::uint8_t>(n);
        g.start = rig.disc->Track(static_cast<std::int16_t>(n))->LBA();
        g.pregapStart = g.start - pregap;
        g.indexes = std::move(more);
        return g;
    };
    gaps.tracks = {gapOf(2, 150, {{2, 1000}}), gapOf(4, 150, {})};
    const CueDisc partial = SheetOfDisc(*rig.disc, Files({1, 2, 4}), {}, &gaps);
    ASSERT_EQ(partial.tracks.size(), 3u);
    EXPECT_EQ(partial.tracks[1].pregap, 150);
    EXPECT_EQ(partial.tracks[1].indexes, std::vector<std::int32_t>{1000});
    EXPECT_EQ(partial.tracks[2].number, 4);
    EXPECT_EQ(partial.tracks[2].pregap, 0);
    // A rip from track 2 on: the first file's pregap is the scan's, given as PREGAP.
    EXPECT_EQ(SheetOfDisc(*rig.disc, Files({2, 3}), {}, &gaps).tracks[0].pregap, 150);
    EXPECT_EQ(SheetOfDisc(*rig.disc, Files({3}), {}).tracks[0].pregap, 0);
    // A pregap longer than the file before it cannot lie in that file.
    DiscGaps huge;
    huge.tracks = {gapOf(2, 100000, {})};
    const CueDisc clamped = SheetOfDisc(*rig.disc, Files({1, 2}), {}, &huge);
    EXPECT_EQ(clamped.tracks[1].pregap, clamped.tracks[0].length);
}

} // namespace
} // namespace tolvane::rip
