// Every command a read sends, what it keeps when a command fails, what it makes of answers no
// drive should give, and the decoders' cases a read cannot reach.
#include "disc/Decoders.h"
#include "disc/DiscFacts.h"

#include "device/platform/ScsiOpcodes.h"
#include "emulator/DemoDiscs.h"
#include "support/Hex.h"
#include "support/TestData.h"

#include <cstdio>
#include <locale>

namespace tolvane {
namespace {

namespace op = scsi::op;
using emulator::TrackMode;
using test::FakeRig;
using test::Hex;
using namespace decode;

using Arm = std::function<void(FakeRig&, std::shared_ptr<const emulator::Disc>)>;

Arm Fail(std::uint8_t opcode, int times = -1)
{
    return [=](FakeRig& r, auto) { r.drive->FailCommand(opcode, times); };
}

// The READ TOC of `format` (READ CAPACITY for -1) is answered with these bytes as far as the
// buffer goes, or refused when there are none.
Arm Answer(int format, const std::string& hex = "", std::optional<bool> msf = std::nullopt)
{
    return [=](FakeRig& r, auto) {
        r.intercept = [=, bytes = test::Hex(hex)](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
            const bool toc = cdb[0] == op::ReadToc && (cdb[2] & 0x0F) == format &&
                             (!msf || ((cdb[1] & 0x02) != 0) == *msf);
            if (format < 0 ? cdb[0] != op::ReadCapacity : !toc) {
                return std::nullopt;
            }
            if (bytes.empty()) { // as a drive refuses what it cannot carry out: HARDWARE ERROR / 44/00
                return ScsiResult::CheckCondition(0x04, 0x44, 0x00);
            }
            std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
            return ScsiResult::Success();
        };
    };
}

// A drive that takes READ TOC's format from byte 9 (older ATAPI drives, QEMU's) answers a
// format-0 TOC for the session information, the ATIP and CD-Text.
void Quirky(FakeRig& r, std::shared_ptr<const emulator::Disc> disc)
{
    emulator::DriveIdentity quirky;
    quirky.tocFormatInControlByte = true;
    r.drive = std::make_shared<emulator::EmulatedDrive>(r.clock, quirky);
    r.drive->Insert(std::move(disc));
}

// The demo CD on a rewritable disc, so that erasability and the ATIP have something to lose.
std::shared_ptr<const emulator::Disc> DemoOnCdRw()
{
    auto disc = std::make_shared<emulator::Disc>(*emulator::MakeDemoCd());
    disc->media = emulator::MediaKind::CdRw;
    return disc;
}

// A Mode 2 data track, then an audio track.
std::shared_ptr<const emulator::Disc> MixedDisc()
{
    return test::BuildCd({{1, TrackMode::Mode2, 0}, {2, TrackMode::Audio, 12000}}, {{1, 30000, 0x20}});
}

TEST(OpticalDiskRead, OneCommandThatFailsLeavesOnlyItsOwnFactsAtTheirDefaults)
{
    const std::string texts = "Title|Artist|track * Title|track * Artist";
    const struct {
        const char* name;
        test::DiscMaker disc;
        Arm arm;
        std::string lost; // facts that fall back to their defaults
    } cases[] = {
        {"disc information", DemoOnCdRw, Fail(op::ReadDiscInformation), "DiscStatus|DiscFormat|Erasable"},
        {"capacity", emulator::MakeDemoCd, Fail(op::ReadCapacity), "TotalLogicalBlocks|TotalRawSize"},
        // The first READ SUB-CHANNEL asks for the catalogue number; the track codes come later.
        {"catalogue number", emulator::MakeDemoCd, Fail(op::ReadSubChannel, 1), "UPC"},
        {"every sub-channel", emulator::MakeDemoCd, Fail(op::ReadSubChannel), "UPC|track * ISRC"},
        {"CD-Text", emulator::MakeDemoCd, Answer(5), texts},
        {"sessions", emulator::MakeDemoCd, Answer(1), "Sessions"},
        {"ATIP", DemoOnCdRw, Answer(4), "DiscType"},
        // An audio CD's serial number comes from the same answer.
        {"TOC in MSF form", emulator::MakeDemoCd, Answer(0, "", true), "track * MSF|CDDB|SerialNumber"},
        {"volume descriptor", emulator::MakeDemoDvd, Fail(op::Read10), "volume *|SerialNumber"},
        {"DVD structures", emulator::MakeDemoDvd, Fail(op::ReadDiscStructure), "DiscType|Layers|Region"},
        {"track information (READ HEADER still says mode 2)", MixedDisc, Fail(op::ReadTrackInformation), ""},
        {"track information and header", MixedDisc,
         [](FakeRig& r, auto) {
             r.drive->FailCommand(op::ReadTrackInformation, -1);
             r.drive->FailCommand(op::ReadHeader, -1);
         },
         "track 1 Mode"},
        // Its answers in their place count as failed commands, so a pressed CD does not read as a CD-R.
        {"a drive that ignores the TOC format", emulator::MakeDemoCd, Quirky, texts + "|Sessions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = c.disc();
        FakeRig good(image), bad(image);
        ASSERT_TRUE(good.disc.Read()) << good.disc.ErrorMessage();
        c.arm(bad, image);
        ASSERT_TRUE(bad.disc.Read()) << bad.disc.ErrorMessage();
        EXPECT_TRUE(bad.disc.ErrorMessage().empty());
        test::Facts expected = test::FactsOf(good.disc);
        for (const auto& [pattern, none] : test::Parse(c.lost)) {
            int matched = 0; // facts at their default anyway could not show the loss
            for (auto& [key, value] : expected) {
                if (test::FactMatches(pattern, key)) {
                    matched += value != test::DefaultFact(key);
                    value = test::DefaultFact(key);
                }
            }
            EXPECT_GT(matched, 0) << pattern;
        }
        test::ExpectFacts(expected, test::FactsOf(bad.disc));
    }
}

TEST(OpticalDiskRead, AnswersNoDriveShouldGiveEndInAMessageOrAreReadAsGiven)
{
    const struct {
        const char* name;
        Arm arm;
        bool ok;
        std::string expected = {}; // facts of a read that succeeds
    } cases[] = {
        // Tracks 1 to 120 with three or two descriptors: track numbers past the answer.
        {"TOC lists more tracks than it describes",
         Answer(0, "00 1A 01 78 00 10 01 00 00 00 00 00 00 10 02 00 00 00 4E 20 00 10 03 00 00 00 88 B8"),
         false},
        {"TOC past track 99", Answer(0, "00 12 01 78 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70"),
         false},
        // 7FFFFFFF cannot be counted up to a number of blocks.
        {"capacity beyond the largest block count", Answer(-1, "7F FF FF FF 00 00 08 00"), false},
        // The TOC fails in logical addresses but lists tracks in MSF form: no track array to fill.
        {"TOC only in MSF form", Answer(0, "", false), false},
        {"first track after the last",
         Answer(0, "00 12 03 01 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70"), true},
        {"data length beyond the buffer",
         Answer(0, "FF FF 01 01 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70"), true,
         "Count=1|track 1 LogicalBlocks=6000"},
        {"CD-Text that runs off its answer",
         Answer(5, "FF F0 00 00 80 00 00 00 41 42 43 00 00 00 00 00 00 00 00 00 12 34"), true,
         "Title=|Artist="},
        // Both capacity numbers are signed: 0x80000000 is the most negative address.
        {"capacity with the top bit set", Answer(-1, "80 00 00 00 00 00 08 00"), true,
         "TotalLogicalBlocks=-2147483647|TotalRawSize=-4398046509056"},
        // Tracks 1 to 3, two descriptors answered: the third track's slots are the buffer's zeros.
        {"TOC shorter than its track range",
         Answer(0, "00 12 01 03 00 10 01 00 00 00 00 00 00 10 02 00 00 00 4E 20"), true,
         "Count=3|track 1 LogicalBlocks=20000|track 2 LBA=20000|track 2 LogicalBlocks=-20000|"
         "track 2 RawSize=-47040000|track 3 LBA=0|track 3 LogicalBlocks=0|track 3 Mode=Audio"},
        // The last track ends at the descriptor numbered 0xAA, not at the one after it.
        {"lead-out after an extra descriptor",
         Answer(0, "00 1A 01 01 00 10 01 00 00 00 00 00 00 14 02 00 00 00 27 10 00 10 AA 00 00 00 4E 20"),
         true, "Count=1|track 1 LogicalBlocks=20000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRig rig(emulator::MakeDemoCd());
        ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
        const auto earlier = rig.disc.CD();
        const auto earlierTrack = rig.disc.Track(1);
        c.arm(rig, nullptr);
        EXPECT_EQ(rig.disc.Read(), c.ok) << rig.disc.ErrorMessage();
        const test::Facts facts = test::FactsOf(rig.disc);
        if (c.ok) {
            test::ExpectFacts(test::Parse(c.expected), facts, true);
            continue;
        }
        EXPECT_FALSE(rig.disc.ErrorMessage().empty());
        EXPECT_EQ(rig.disc.Track(1), nullptr);
        // Even what the steps before the failure learned is gone, in fresh records: a caller's
        // reference keeps the earlier read.
        for (const auto& [key, value] : facts) {
            EXPECT_EQ(value, test::DefaultFact(key)) << key;
        }
        EXPECT_EQ(earlier->DiscStatus(), 2);
        EXPECT_EQ(earlierTrack->Mode(), "Audio");
    }
}

// Every command block and buffer Read sends, in order, against golden/read-sequence.txt.
std::string SequenceOf(const char* name, std::shared_ptr<const emulator::Disc> disc)
{
    test::FakeRig rig(std::move(disc));
    std::string out = std::string("# ") + name + "\n";
    rig.intercept = [&](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        const ScsiResult r = rig.drive->Execute(cdb, data);
        char byte[4];
        for (const std::uint8_t b : cdb) {
            std::snprintf(byte, sizeof byte, "%02X ", b);
            out += byte;
        }
        out += "| " + std::to_string(data.size()) + " | " + r.Describe() + "\n";
        return r;
    };
    EXPECT_TRUE(rig.disc.Read()) << name << ": " << rig.disc.ErrorMessage();
    return out;
}

TEST(ReadSequence, EveryCommandAndBufferInOrderAsTheGoldenListing)
{
    const auto golden = test::ReadBytes(test::SourcePath("tests/disc/golden/read-sequence.txt"));
    // Two audio tracks with pregaps; a Mode 1 data CD with a volume descriptor; an audio
    // session, then a data session (the full TOC follows the session information); a DVD; no disc.
    const std::string actual =
        SequenceOf("audio CD: libcdio/p1.cue", test::LoadTestImage("libcdio/p1.cue")) +
        SequenceOf("data CD: libcdio/isofs-m1.cue", test::LoadTestImage("libcdio/isofs-m1.cue")) +
        SequenceOf("Enhanced CD", test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 4500},
                                                 {3, TrackMode::Mode1, 20400, 0x4, 2}},
                                                {{1, 9000, 0x20}, {2, 30000, 0x20}})) +
        SequenceOf("DVD: the demo DVD", emulator::MakeDemoDvd()) + SequenceOf("empty drive", nullptr);
    EXPECT_EQ(actual, std::string(golden.begin(), golden.end()));
}

// The decoders' edge cases that a read through the virtual drive cannot reach.
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
} // namespace tolvane
