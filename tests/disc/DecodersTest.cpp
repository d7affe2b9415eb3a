#include "disc/Decoders.h"
#include "support/Hex.h"
#include "util/CdText.h"

#include <gtest/gtest.h>

namespace tolvane::decode {
namespace {

using test::Hex;

TEST(DecodeToc, ReadsDescriptorsInBothAddressFormsAndFindsTheLeadOutByItsNumber)
{
    // A 3-track audio disc at 0, 20000 and 35000 with its lead-out at 50000 (LBA form).
    const auto toc = DecodeToc(Hex("00 22 01 03 00 10 01 00 00 00 00 00 00 12 02 00 00 00 4E 20"
                                   "00 19 03 00 00 00 88 B8 00 10 AA 00 00 00 C3 50"));
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->firstTrack, 1);
    EXPECT_EQ(toc->lastTrack, 3);
    ASSERT_EQ(toc->descriptors.size(), 4u);
    EXPECT_EQ(toc->descriptors[1].Lba(), 20000);
    EXPECT_EQ(toc->descriptors[1].control, 0x2);
    EXPECT_EQ(toc->descriptors[2].control, 0x9);
    EXPECT_EQ(toc->descriptors[3].track, LeadOutTrack);
    EXPECT_EQ(toc->descriptors[3].Lba(), 50000);
    // MSF form: minute 62, second 5, frame 7 and minute 100.
    const auto m = DecodeToc(Hex("00 12 01 01 00 10 01 00 00 3E 05 07 00 10 AA 00 00 64 00 00"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->descriptors[0].Minute(), 62);
    EXPECT_EQ(m->descriptors[0].Second(), 5);
    EXPECT_EQ(m->descriptors[0].Frame(), 7);
    EXPECT_EQ(m->descriptors[1].Minute(), 100);

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
    // The lead-out is the 0xAA descriptor even where it does not follow the last track.
    EXPECT_EQ(
        DecodeToc(Hex("00 1A 01 01 00 10 01 00 00 00 00 00 00 14 02 00 00 00 27 10 00 10 AA 00 00 00 4E 20"))
            ->LeadOut()
            ->Lba(),
        20000);
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

TEST(SubChannelCodes, NeedTheValidBitAndAreNotAllZero)
{
    const std::string head = "00 00 00 14 02 00 00 00 ";
    EXPECT_EQ(DecodeMcn(Hex(head + "80 30 36 35 32 36 33 37 32 38 30 33 32 36 00 00 00")), "0652637280326");
    EXPECT_EQ(DecodeMcn(Hex(head + "00 30 36 35 32 36 33 37 32 38 30 33 32 36 00 00 00")), std::nullopt);
    // Surfer Rosa's drive answer: valid bit set, thirteen zeros.
    EXPECT_EQ(DecodeMcn(Hex(head + "80 30 30 30 30 30 30 30 30 30 30 30 30 30 00 00 00")), std::nullopt);
    EXPECT_EQ(DecodeMcn(Hex(head + "80 30 36")), std::nullopt) << "too short";
    // The ISRC has twelve characters.
    EXPECT_EQ(DecodeIsrc(Hex("00 00 00 14 03 00 01 00 80 47 42 41 46 4C 30 37 30 30 32 31 33 00 00 00 00")),
              "GBAFL0700213");
    EXPECT_EQ(DecodeIsrc(Hex("00 00 00 14 03 00 01 00 80 30 30 30 30 30 30 30 30 30 30 30 30 00")),
              std::nullopt);
}

TEST(DiscFacts, DecodeTheMediumDescriptions)
{
    const auto info = DecodeDiscInformation(Hex("00 20 10 01 01 01 01 00 00")); // blank CD-RW
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status, 0);
    EXPECT_TRUE(info->erasable);
    EXPECT_EQ(DiscFormatName(0x00), "CD-DA/CD-ROM");
    EXPECT_EQ(DiscFormatName(0x20), "CD-ROM XA");
    EXPECT_EQ(DiscFormatName(0xFF), "Undefined");
    EXPECT_EQ(DiscFormatName(0x30), "");
    const auto capacity = DecodeCapacity(Hex("00 05 7E 3F 00 00 08 00"));
    EXPECT_EQ(capacity->lastLba, 359999u);
    EXPECT_EQ(capacity->blockLength, 2048u);
    // Dual-layer DVD-ROM, region 2 only (management byte 0xFD).
    const auto physical = DecodeDvdPhysical(Hex("08 02 00 00 01 02 20 10"));
    EXPECT_EQ(physical->bookType, 0);
    EXPECT_EQ(physical->layers, 2);
    EXPECT_EQ(DvdBookName(10), "DVD+R");
    EXPECT_EQ(DvdBookName(5), "");
    EXPECT_EQ(DecodeDvdRegions(Hex("00 06 00 00 00 FD 00 00")), std::uint8_t{0x02});
}

TEST(Plausibility, AnswersOfTheWrongFormatAreNoAnswers)
{
    // An 80-minute CD-RW's ATIP: lead-in from 97:27:00, last lead-out 79:59:74.
    EXPECT_EQ(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 C0 00 61 1B 00 00 4F 3B 4A 00")), true);
    EXPECT_EQ(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 80 00 61 1B 00 00 4F 3B 4A 00")), false);
    EXPECT_FALSE(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 C0 00 61 3C 00 00 4F 3B 4A 00"))) << "second 60";
    EXPECT_FALSE(DecodeAtipRewritable(Hex("00 1A 00 00 D0 00 C0"))) << "too short";
    // A format-0 TOC in its place, from a drive that reads the format from byte 9.
    const auto toc = Hex("00 12 01 01 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 4E 20");
    EXPECT_FALSE(DecodeAtipRewritable(toc));
    EXPECT_FALSE(DecodeSessionInfo(toc));
    EXPECT_FALSE(IsPlausibleCdText(ConstBytes(toc).subspan(4)));

    // CD-Text: a pack's CRC or the running sequence numbers make packs plausible.
    const auto title = Hex("80 00 00 00 41 6C 62 75 6D 00 00 00 00 00 00 00");
    std::vector<std::uint8_t> pack(title);
    const std::uint16_t crc = cdtext::PackCrc(pack);
    pack.insert(pack.end(), {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
    EXPECT_TRUE(IsPlausibleCdText(pack));
    std::vector<std::uint8_t> two(title);
    two.insert(two.end(), {0, 0});
    two.insert(two.end(), title.begin(), title.end());
    two.insert(two.end(), {0, 0});
    two[18 + 2] = 1; // sequence 0, 1
    EXPECT_TRUE(IsPlausibleCdText(two));
    two[18 + 2] = 5;
    EXPECT_FALSE(IsPlausibleCdText(two)) << "neither CRC nor sequence";
}

TEST(Cddb, ComputesTheFreedbId)
{
    // Two tracks at 00:02:00 and 03:10:00, lead-out at 07:00:00.
    const auto toc =
        DecodeToc(Hex("00 1A 01 02 00 10 01 00 00 00 02 00 00 10 02 00 00 03 0A 00 00 10 AA 00 00 07 00 00"));
    EXPECT_EQ(CddbId(*toc), 0x0C01A202u);
    EXPECT_EQ(DigitSum(5040), 9);
    EXPECT_EQ(DigitSum(0), 0);
    EXPECT_FALSE(CddbId(*DecodeToc(Hex("00 0A 01 01 00 10 01 00 00 00 02 00"))))
        << "no lead-out, no playing time";
}

// The serial of an audio disc from a TOC answer in MSF form; nothing when Windows would refuse it.
std::optional<std::uint32_t> AudioSerial(const std::string& hex)
{
    const auto view = CdfsViewOfToc(*DecodeToc(Hex(hex)));
    return view ? std::optional(VolumeSerialOfAudioToc(view->toc)) : std::nullopt;
}

TEST(VolumeSerial, SumsFourByteLanesOfTheDescriptorOrTheTracksOfAnAudioToc)
{
    std::vector<std::uint8_t> block(SectorSize, 0);
    block[0] = 0x01;
    block[4] = 0xFF; // lane 0 wraps: 0x01 + 0xFF = 0x00
    block[1] = 0x10;
    block[2045] = 0x22; // lane 1
    block[2046] = 0x33; // lane 2
    block[3] = 0x04;    // lane 3
    EXPECT_EQ(VolumeSerialOfDescriptor(block), 0x00323304u);

    // Three tracks: the sum of their 0x00MMSSFF addresses.
    EXPECT_EQ(AudioSerial("00 22 01 03 00 10 01 00 00 00 02 00 00 10 02 00 00 03 0A 05"
                          "00 10 03 00 00 05 00 10 00 10 AA 00 00 07 00 00"),
              0x000200u + 0x030A05u + 0x050010u);
    // Two tracks: the disc's length in frames (07:01:02 - 00:02:00), then the same sum.
    EXPECT_EQ(
        AudioSerial("00 1A 01 02 00 10 01 00 00 00 02 00 00 10 02 00 00 03 0A 00 00 10 AA 00 00 07 01 02"),
        31577u - 150u + 0x000200u + 0x030A00u);
    // A CD+: the data track at 10:00:00 is hidden and, 2:30 earlier, becomes the lead-out of
    // what is left, two audio tracks.
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
