// The decoders' edge cases that a read through the virtual drive cannot reach.
#include "disc/Decoders.h"
#include "support/Hex.h"

#include <gtest/gtest.h>

#include <locale>

namespace tolvane::decode {
namespace {

using test::Hex;

TEST(DecodeToc, ReadsOnlyTheAnsweredPartForTheLeadOut)
{
    // The header announces one descriptor; the zero-filled rest of the buffer stays readable by
    // position, but only the answered part can hold the lead-out.
    std::vector<std::uint8_t> buffer(804, 0);
    const auto answer = Hex("00 0A 01 01 00 14 01 00 00 00 00 00");
    std::copy(answer.begin(), answer.end(), buffer.begin());
    buffer[4 + 8 + 2] = LeadOutTrack; // beyond the data length: not the answer's
    const auto padded = DecodeToc(buffer);
    EXPECT_EQ(padded->descriptors.size(), 100u);
    EXPECT_EQ(padded->answered, 1u);
    EXPECT_FALSE(padded->LeadOut());
    // A length that claims more than the buffer holds is read only as far as the buffer.
    EXPECT_EQ(DecodeToc(Hex("01 92 01 63 00 10 01 00 00 00 00 00 00 10 02 00"))->answered, 1u);
    EXPECT_FALSE(DecodeToc(Hex("00 02 01")));
}

TEST(DecodeSessionLeadOuts, ReadsTheA2PointsOfARealDrive)
{
    // Full TOC of a 2-session CD-R from a real drive (readcd -fulltoc); readcd decoded lead-outs
    // 118715 and 135210.
    const auto leadOuts =
        DecodeSessionLeadOuts(Hex("00 7B 01 02 01 14 00 A0 00 00 00 00 01 20 00"
                                  "01 14 00 A1 00 00 00 00 01 00 00 01 14 00 A2 00 00 00 00 1A 18 41"
                                  "01 14 00 01 00 00 00 00 00 02 00 01 54 00 B0 1C 36 41 02 4A 2B 00"
                                  "01 54 00 C0 80 00 00 00 61 22 15 02 14 00 A0 00 00 00 00 02 20 00"
                                  "02 14 00 A1 00 00 00 00 02 00 00 02 14 00 A2 00 00 00 00 1E 04 3C"
                                  "02 14 00 02 00 00 00 00 1C 38 41 02 54 00 B0 1F 22 3C 01 4A 2B 00"));
    ASSERT_EQ(leadOuts.size(), 2u);
    EXPECT_EQ(leadOuts[0].session, 1);
    EXPECT_EQ(leadOuts[0].leadOut, 118715);
    EXPECT_EQ(leadOuts[1].session, 2);
    EXPECT_EQ(leadOuts[1].leadOut, 135210);
}

TEST(Plausibility, AnswersOfTheWrongFormatOrLengthAreNoAnswers)
{
    // An 80-minute CD-RW's ATIP: lead-in from 97:27:00, last lead-out 79:59:74.
    EXPECT_EQ(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 C0 00 61 1B 00 00 4F 3B 4A 00")), true);
    EXPECT_FALSE(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 C0 00 61 3C 00 00 4F 3B 4A 00"))) << "second 60";
    // Track information long enough to hold the data mode, and one byte short of it.
    EXPECT_EQ(DecodeTrackDataMode(Hex("00 1A 01 01 00 04 02")), std::optional<std::uint8_t>{2});
    EXPECT_FALSE(DecodeTrackDataMode(Hex("00 1A 01 01 00 04")));
}

TEST(Cddb, NeedsALeadOut)
{
    // A buffer of one descriptor, and that no lead-out: nothing past it is read.
    EXPECT_FALSE(CddbId(*DecodeToc(Hex("00 0A 01 01 00 10 01 00 00 00 02 00"))));
}

TEST(IsoDates, RollMonthsBeyondTheYearIntoTheNextOrPreviousYear)
{
    const std::locale classic = std::locale::classic();
    EXPECT_EQ(FormatIsoDate("2005130100000000", classic), "01/01/06 00:00:00");
    EXPECT_EQ(FormatIsoDate("2005000100000000", classic), "12/01/04 00:00:00");
}

// The serial of an audio disc from a TOC answer in MSF form; nothing when Windows would refuse it.
std::optional<std::uint32_t> AudioSerial(const std::string& hex)
{
    const auto view = CdfsViewOfToc(*DecodeToc(Hex(hex)));
    return view ? std::optional(VolumeSerialOfAudioToc(view->toc)) : std::nullopt;
}

TEST(AudioSerial, HidesTheDataTrackOfACdPlusAndRefusesBadTrackRanges)
{
    // The data track at 10:00:00 is hidden and, 2:30 earlier, becomes the lead-out of what is
    // left, two audio tracks: the disc's length in frames, then the sum of their 0x00MMSSFF.
    const std::string cdPlus = "00 22 01 03 00 10 01 00 00 00 02 00 00 10 02 00 00 03 0A 00"
                               "00 14 03 00 00 0A 00 00 00 14 AA 00 00 14 00 00";
    EXPECT_EQ(AudioSerial(cdPlus), 33750u - 150u + 0x000200u + 0x030A00u);
    const auto view = CdfsViewOfToc(*DecodeToc(Hex(cdPlus)));
    EXPECT_TRUE(view->audioTracks && view->dataTracks);
    EXPECT_EQ(view->toc.lastTrack, 2);
    // A track range that runs past the answer is refused, as is a backwards one.
    EXPECT_FALSE(AudioSerial("00 12 01 02 00 10 01 00 00 00 02 00 00 10 AA 00 00 07 01 02"));
    EXPECT_FALSE(AudioSerial("00 12 02 01 00 10 01 00 00 00 02 00 00 10 AA 00 00 07 01 02"));
}

} // namespace
} // namespace tolvane::decode
