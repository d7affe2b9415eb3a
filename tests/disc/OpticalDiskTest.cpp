// What a read keeps when a command fails, and what it makes of answers no drive should give.
#include "disc/DiscFacts.h"

#include "device/platform/ScsiOpcodes.h"
#include "emulator/DemoDiscs.h"
#include "support/Hex.h"

namespace tolvane {
namespace {

namespace op = scsi::op;
using emulator::TrackMode;
using test::FakeRig;

using Arm = std::function<void(FakeRig&, std::shared_ptr<const emulator::Disc>)>;

Arm Fail(std::uint8_t opcode, int times = -1)
{
    return [=](FakeRig& r, auto) { r.drive->FailCommand(opcode, times); };
}

bool IsToc(ConstBytes cdb, int format, std::optional<bool> msf)
{
    return cdb[0] == op::ReadToc && (cdb[2] & 0x0F) == format && (!msf || ((cdb[1] & 0x02) != 0) == *msf);
}

// The READ TOC of `format` (READ CAPACITY for -1) is answered with these bytes as far as the
// buffer goes, or refused when there are none.
Arm Answer(int format, const std::string& hex = "", std::optional<bool> msf = std::nullopt)
{
    return [=](FakeRig& r, auto) {
        r.intercept = [=, bytes = test::Hex(hex)](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
            if (format < 0 ? cdb[0] != op::ReadCapacity : !IsToc(cdb, format, msf)) {
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
        for (std::size_t at = 0, bar = 0; at < c.lost.size(); at = bar + 1) {
            bar = std::min(c.lost.find('|', at), c.lost.size());
            const std::string pattern = c.lost.substr(at, bar - at);
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

} // namespace
} // namespace tolvane
