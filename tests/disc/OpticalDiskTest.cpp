// The disc object's states and its failures: what works unbound, binding and
// releasing a drive, the tray, waiting for a disc to spin up, and what a read
// keeps when one command fails or when the drive's answers cannot be used.
#include "disc/DiscFacts.h"

#include "device/platform/ScsiOpcodes.h"
#include "disc/OpticalDisk.h"
#include "emulator/DemoDiscs.h"
#include "support/Hex.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using namespace std::chrono_literals;
namespace op = scsi::op;
using emulator::EmulatedDrive;
using emulator::MediaKind;
using emulator::Session;
using emulator::TrackMode;
using test::Facts;
using test::FakeRig;

Facts AllDefaults(const Facts& like)
{
    Facts defaults;
    for (const auto& [key, value] : like) {
        defaults[key] = test::DefaultFact(key);
    }
    return defaults;
}

// --- Unbound ----------------------------------------------------------------------

TEST(OpticalDiskLifecycle, AFreshObjectHoldsDefaultRecordsAndSendsNothing)
{
    fake::FakePlatform platform;
    OpticalDisk disc(platform, std::make_shared<VirtualClock>());
    EXPECT_EQ(disc.Count(), 0);
    EXPECT_TRUE(disc.ErrorMessage().empty());
    EXPECT_EQ(disc.Track(1), nullptr);
    EXPECT_EQ(disc.CD()->DiscStatus(), 3);
    // The getters make a record once and keep it.
    EXPECT_EQ(disc.CD(), disc.CD());
    EXPECT_EQ(disc.CDText(), disc.CDText());
    EXPECT_EQ(disc.DVD(), disc.DVD());
    test::ExpectFacts(AllDefaults(test::FactsOf(disc)), test::FactsOf(disc));
    EXPECT_EQ(platform.Opens(), 0);
    EXPECT_TRUE(platform.Commands().empty());
}

struct UnboundOperation {
    const char* name;
    std::function<std::optional<bool>(OpticalDisk&)> run; // nothing for operations without a result
};

void PrintTo(const UnboundOperation& op, std::ostream* os)
{
    *os << op.name;
}

class OperationsWhenUnbound : public ::testing::TestWithParam<UnboundOperation> {};

TEST_P(OperationsWhenUnbound, FailWithInvalidDriveAndSendNothing)
{
    const UnboundOperation& operation = GetParam();
    // Unbound at construction, after a Create that failed, and after Destroy.
    const std::vector<std::pair<const char*, std::function<void(OpticalDisk&)>>> states = {
        {"fresh", [](OpticalDisk&) {}},
        {"after a failed Create", [](OpticalDisk& d) { EXPECT_FALSE(d.Create("K:")); }},
        {"after Destroy",
         [](OpticalDisk& d) {
             EXPECT_TRUE(d.Create("D:")) << d.ErrorMessage();
             EXPECT_TRUE(d.Read()) << d.ErrorMessage();
             d.Destroy();
         }},
    };
    for (const auto& [state, reach] : states) {
        SCOPED_TRACE(state);
        FakeRig rig(emulator::MakeDemoCd());
        rig.disc.Destroy();
        OpticalDisk disc(rig.platform, rig.clock);
        reach(disc);
        rig.platform.ClearCommands();
        const std::optional<bool> result = operation.run(disc);
        if (result) {
            EXPECT_FALSE(*result);
        }
        EXPECT_EQ(disc.ErrorMessage(), "Invalid drive");
        EXPECT_TRUE(rig.platform.Commands().empty());
        EXPECT_EQ(disc.Count(), 0);
    }
}

// Eject and Load give no result.
std::function<std::optional<bool>(OpticalDisk&)> Void(void (OpticalDisk::*operation)())
{
    return [operation](OpticalDisk& d) {
        (d.*operation)();
        return std::optional<bool>();
    };
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, OperationsWhenUnbound,
    ::testing::Values(UnboundOperation{"Check", [](OpticalDisk& d) { return std::optional(d.Check()); }},
                      UnboundOperation{"Eject", Void(&OpticalDisk::Eject)},
                      UnboundOperation{"Load", Void(&OpticalDisk::Load)},
                      UnboundOperation{"Read", [](OpticalDisk& d) { return std::optional(d.Read()); }},
                      UnboundOperation{"Extract",
                                       [](OpticalDisk& d) {
                                           return std::optional(
                                               d.Extract(1, "/nonexistent-folder/track.wav"));
                                       }}),
    [](const ::testing::TestParamInfo<UnboundOperation>& info) { return std::string(info.param.name); });

// --- Binding ----------------------------------------------------------------------

TEST(OpticalDiskLifecycle, CreateOfALetterWithoutADriveLeavesTheTransportsMessage)
{
    for (const std::string letter : {"K:", "C:", "", "D"}) {
        SCOPED_TRACE("\"" + letter + "\"");
        fake::FakePlatform platform; // no drives at all
        OpticalDisk disc(platform, std::make_shared<VirtualClock>());
        EXPECT_FALSE(disc.Create(letter));
        EXPECT_EQ(disc.ErrorMessage(), "Error accessing drive");
        EXPECT_TRUE(disc.Drive().empty());
        EXPECT_FALSE(disc.Read());
        EXPECT_EQ(disc.ErrorMessage(), "Invalid drive");
    }
}

TEST(OpticalDiskLifecycle, CreateWhileBoundIsRefusedAndLeavesTheObjectUnbound)
{
    FakeRig rig(emulator::MakeDemoCd());
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    ASSERT_EQ(rig.disc.Count(), 6);

    EXPECT_FALSE(rig.disc.Create("D:"));
    EXPECT_EQ(rig.disc.ErrorMessage(), "Handle already open");
    EXPECT_EQ(rig.disc.Count(), 0) << "Create drops what the last read found";
    EXPECT_FALSE(rig.disc.Check());
    EXPECT_EQ(rig.disc.ErrorMessage(), "Invalid drive");

    rig.disc.Destroy();
    EXPECT_EQ(rig.platform.OpenHandles(), 0);
    EXPECT_TRUE(rig.disc.Create("D:")) << rig.disc.ErrorMessage();
    EXPECT_TRUE(rig.disc.Check());
}

TEST(OpticalDiskLifecycle, TrackGivesRecordsOnlyForOneToCount)
{
    const auto image = emulator::MakeDemoCd();
    FakeRig rig(image);
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    ASSERT_EQ(rig.disc.Count(), 6);
    // A failure left by another operation stays: Track does not touch ErrorMessage.
    EXPECT_FALSE(rig.disc.Extract(7, "/nonexistent-folder/track7.wav"));
    const std::string message = rig.disc.ErrorMessage();
    ASSERT_FALSE(message.empty());
    // 262 is 6 in its low byte.
    for (const int index : {0, 7, -1, 255, 256, 262, 32767, -32768}) {
        EXPECT_EQ(rig.disc.Track(static_cast<std::int16_t>(index)), nullptr) << index;
    }
    EXPECT_EQ(rig.disc.ErrorMessage(), message);
    ASSERT_NE(rig.disc.Track(6), nullptr);
    EXPECT_EQ(rig.disc.Track(6)->LBA(), image->tracks[5].start);
    EXPECT_EQ(rig.disc.Track(1)->LBA(), 0);
    EXPECT_EQ(rig.disc.Track(6), rig.disc.Track(6)) << "the same record each time";
}

TEST(OpticalDiskLifecycle, DestroyTwiceIsHarmlessAndReleasesTheDrive)
{
    FakeRig rig(emulator::MakeDemoCd());
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    const auto before = rig.disc.CD();
    ASSERT_EQ(before->DiscStatus(), 2);

    rig.disc.Destroy();
    rig.disc.Destroy();
    EXPECT_EQ(rig.platform.OpenHandles(), 0);
    EXPECT_EQ(rig.disc.Count(), 0);
    EXPECT_TRUE(rig.disc.ErrorMessage().empty());
    EXPECT_TRUE(rig.disc.Drive().empty());
    EXPECT_EQ(rig.disc.Track(1), nullptr);
    EXPECT_NE(rig.disc.CD(), before) << "Destroy drops the records";
    EXPECT_EQ(rig.disc.CD()->DiscStatus(), 3);
    EXPECT_EQ(before->DiscStatus(), 2) << "a record a caller still holds is not cleared";

    // Bound again, it reads as before.
    ASSERT_TRUE(rig.disc.Create("D:")) << rig.disc.ErrorMessage();
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    EXPECT_EQ(rig.disc.Count(), 6);
}

// --- The tray ----------------------------------------------------------------------

TEST(OpticalDiskTray, EjectOpensAndLoadClosesTheTrayWithoutTouchingTheRecords)
{
    test::VirtualRig rig(emulator::MakeDemoCd());
    OpticalDisk& disc = *rig.disc;
    ASSERT_TRUE(disc.Check());
    ASSERT_TRUE(disc.Read()) << disc.ErrorMessage();
    const Facts read = test::FactsOf(disc);

    disc.Eject();
    EXPECT_TRUE(disc.ErrorMessage().empty());
    EXPECT_EQ(rig.drive->TrayState(), EmulatedDrive::Tray::Open);
    EXPECT_FALSE(disc.Check());
    EXPECT_TRUE(disc.ErrorMessage().empty()) << "no medium is no failure of Check";
    test::ExpectFacts(read, test::FactsOf(disc));

    // Ejecting an open tray again is accepted by the drive and reported by no one.
    disc.Eject();
    EXPECT_TRUE(disc.ErrorMessage().empty());

    disc.Load();
    EXPECT_TRUE(disc.ErrorMessage().empty());
    EXPECT_EQ(rig.drive->TrayState(), EmulatedDrive::Tray::Closed);
    // The drive reports the new medium as UNIT ATTENTION first; Check still sees it.
    EXPECT_TRUE(disc.Check());
    test::ExpectFacts(read, test::FactsOf(disc));
}

// --- Waiting for a disc -------------------------------------------------------------

struct CheckCase {
    const char* name;
    bool disc;
    std::chrono::seconds spinUp;
    bool trayOpen;
    bool ready;
    // Time Check may take on the shared clock: [least, most).
    std::chrono::milliseconds least;
    std::chrono::milliseconds most;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.name;
}

class CheckWaits : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckWaits, WhileTheDriveIsBecomingReadyAndNoLonger)
{
    const CheckCase& c = GetParam();
    test::VirtualRig rig(nullptr);
    rig.drive->SetSpinUpTime(c.spinUp);
    if (c.disc) {
        rig.drive->Insert(emulator::MakeDemoCd());
    }
    if (c.trayOpen) {
        rig.disc->Eject();
    }
    const Clock::Duration start = rig.clock->Now();
    EXPECT_EQ(rig.disc->Check(), c.ready);
    const Clock::Duration took = rig.clock->Now() - start;
    EXPECT_TRUE(rig.disc->ErrorMessage().empty()) << rig.disc->ErrorMessage();
    EXPECT_GE(took, c.least);
    EXPECT_LT(took, c.most);
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, CheckWaits,
    ::testing::Values(
        // Inserting leaves a UNIT ATTENTION for the next command, which must not count as no disc.
        CheckCase{"readyAtOnce", true, 0s, false, true, 0ms, 1000ms},
        CheckCase{"spinsUpForFiveSeconds", true, 5s, false, true, 5000ms, 20000ms},
        CheckCase{"spinsUpForLongerThanTheLimit", true, 30s, false, false, 20000ms, 21000ms},
        // Only BECOMING READY is waited for: an empty drive or an open tray answers at once.
        CheckCase{"noDisc", false, 5s, false, false, 0ms, 1000ms},
        CheckCase{"trayOpen", true, 5s, true, false, 0ms, 1000ms}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(OpticalDiskCheck, ADiscThatIsStillSpinningUpAfterTheLimitIsReadyAtALaterCheck)
{
    test::VirtualRig rig(nullptr);
    rig.drive->SetSpinUpTime(30s);
    rig.drive->Insert(emulator::MakeDemoCd());
    const Clock::Duration start = rig.clock->Now();
    EXPECT_FALSE(rig.disc->Check());
    EXPECT_TRUE(rig.disc->Check());
    EXPECT_GE(rig.clock->Now() - start, Clock::Duration(30s));
}

TEST(OpticalDiskRead, TheFirstCommandsAfterAnInsertLoseNothingToTheUnitAttention)
{
    // Read straight after inserting, without Check: the first command meets the UNIT ATTENTION.
    test::VirtualRig fresh(emulator::MakeDemoCd());
    ASSERT_TRUE(fresh.disc->Read()) << fresh.disc->ErrorMessage();
    test::VirtualRig settled(emulator::MakeDemoCd());
    ASSERT_TRUE(settled.disc->Check());
    ASSERT_TRUE(settled.disc->Read()) << settled.disc->ErrorMessage();
    test::ExpectFacts(test::FactsOf(*settled.disc), test::FactsOf(*fresh.disc));
    EXPECT_FALSE(fresh.disc->CD()->SerialNumber().empty());
}

TEST(OpticalDiskRead, AnEmptyDriveReadsAsTrueWithNothingInIt)
{
    test::VirtualRig rig(nullptr);
    EXPECT_FALSE(rig.disc->Check());
    EXPECT_TRUE(rig.disc->ErrorMessage().empty());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_TRUE(rig.disc->ErrorMessage().empty());
    EXPECT_EQ(rig.disc->Count(), 0);
    const Facts facts = test::FactsOf(*rig.disc);
    test::ExpectFacts(AllDefaults(facts), facts);
}

// --- One command fails -----------------------------------------------------------------

bool IsReadToc(ConstBytes cdb, std::uint8_t format, std::optional<bool> msf = std::nullopt)
{
    return cdb[0] == op::ReadToc && (cdb[2] & 0x0F) == format && (!msf || ((cdb[1] & 0x02) != 0) == *msf);
}

// The demo CD on a rewritable disc, so that erasability and the ATIP have something to lose.
std::shared_ptr<const emulator::Disc> DemoOnCdRw()
{
    auto disc = std::make_shared<emulator::Disc>(*emulator::MakeDemoCd());
    disc->media = MediaKind::CdRw;
    return disc;
}

// A Mode 2 data track, then an audio track.
std::shared_ptr<const emulator::Disc> MixedDisc()
{
    return test::BuildCd({{1, TrackMode::Mode2, 0}, {2, TrackMode::Audio, 12000}}, {Session{1, 30000, 0x20}});
}

struct StepFailure {
    const char* name;
    std::function<std::shared_ptr<const emulator::Disc>()> disc;
    std::function<void(EmulatedDrive&)> arm;    // faults of the virtual drive
    std::function<bool(ConstBytes cdb)> refuse; // commands the fake platform refuses
    std::vector<std::string> lost;              // facts that fall back to their defaults
};

void PrintTo(const StepFailure& c, std::ostream* os)
{
    *os << c.name;
}

class OneCommandFails : public ::testing::TestWithParam<StepFailure> {};

TEST_P(OneCommandFails, LeavesOnlyItsOwnFactsAtTheirDefaults)
{
    const StepFailure& c = GetParam();
    FakeRig good(c.disc());
    ASSERT_TRUE(good.disc.Read()) << good.disc.ErrorMessage();
    const Facts baseline = test::FactsOf(good.disc);

    FakeRig bad(c.disc());
    if (c.arm) {
        c.arm(*bad.drive);
    }
    if (c.refuse) {
        bad.intercept = [&c](ConstBytes cdb, Bytes) -> std::optional<ScsiResult> {
            return c.refuse(cdb) ? std::optional(test::Refused()) : std::nullopt;
        };
    }
    ASSERT_TRUE(bad.disc.Read()) << bad.disc.ErrorMessage();
    EXPECT_TRUE(bad.disc.ErrorMessage().empty());

    Facts expected = baseline;
    for (const std::string& pattern : c.lost) {
        int matched = 0;
        for (auto& [key, value] : expected) {
            if (test::FactMatches(pattern, key)) {
                // A fact that is at its default anyway could not show the loss.
                EXPECT_NE(value, test::DefaultFact(key)) << key << " says nothing in this case";
                value = test::DefaultFact(key);
                ++matched;
            }
        }
        EXPECT_GT(matched, 0) << pattern;
    }
    test::ExpectFacts(expected, test::FactsOf(bad.disc));
}

const std::vector<std::string> IsoFacts = {
    "SystemIdentifier",       "VolumeIdentifier",
    "VolumeSpaceSize",        "LogicalBlockSize",
    "PathTableSize",          "LPathTableLocation",
    "MPathTableLocation",     "VolumeSetIdentifier",
    "PublisherIdentifier",    "DataPreparerIdentifier",
    "ApplicationIdentifier",  "CopyrightFileIdentifier",
    "AbstractFileIdentifier", "BibliographicalFileIdentifier",
    "VolumeCreation",         "VolumeModification",
    "VolumeExpiration",       "VolumeEffective",
};

std::vector<std::string> IsoFactsAndSerial()
{
    std::vector<std::string> facts = IsoFacts;
    facts.push_back("SerialNumber"); // nothing else gives a data disc its serial
    return facts;
}

// Faults of the virtual drive, and commands the fake platform refuses.
StepFailure Step(const char* name, std::function<std::shared_ptr<const emulator::Disc>()> disc,
                 std::function<void(EmulatedDrive&)> arm, std::function<bool(ConstBytes cdb)> refuse,
                 std::vector<std::string> lost)
{
    return {name, std::move(disc), std::move(arm), std::move(refuse), std::move(lost)};
}

std::function<void(EmulatedDrive&)> Fail(std::uint8_t opcode, int times = -1)
{
    return [opcode, times](EmulatedDrive& d) { d.FailCommand(opcode, times); };
}

std::function<bool(ConstBytes)> RefuseToc(std::uint8_t format, std::optional<bool> msf = std::nullopt)
{
    return [format, msf](ConstBytes cdb) { return IsReadToc(cdb, format, msf); };
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, OneCommandFails,
    ::testing::Values(
        Step("discInformation", DemoOnCdRw, Fail(op::ReadDiscInformation), nullptr,
             {"DiscStatus", "DiscFormat", "Erasable"}),
        Step("capacity", emulator::MakeDemoCd, Fail(op::ReadCapacity), nullptr,
             {"TotalLogicalBlocks", "TotalRawSize"}),
        // The first READ SUB-CHANNEL asks for the catalogue number; the track codes come later.
        Step("catalogueNumber", emulator::MakeDemoCd, Fail(op::ReadSubChannel, 1), nullptr, {"UPC"}),
        Step("everySubChannel", emulator::MakeDemoCd, Fail(op::ReadSubChannel), nullptr,
             {"UPC", "track * ISRC"}),
        Step("cdText", emulator::MakeDemoCd, nullptr, RefuseToc(5),
             {"Title", "Artist", "track * Title", "track * Artist"}),
        Step("sessions", emulator::MakeDemoCd, nullptr, RefuseToc(1), {"Sessions"}),
        Step("atip", DemoOnCdRw, nullptr, RefuseToc(4), {"DiscType"}),
        // An audio CD's serial number comes from the same answer.
        Step("tocInMsfForm", emulator::MakeDemoCd, nullptr, RefuseToc(0, true),
             {"track * MSF", "CDDB", "SerialNumber"}),
        Step("volumeDescriptor", emulator::MakeDemoDvd, Fail(op::Read10), nullptr, IsoFactsAndSerial()),
        Step("dvdStructures", emulator::MakeDemoDvd, Fail(op::ReadDiscStructure), nullptr,
             {"DiscType", "Layers", "Region"}),
        // READ HEADER still says mode 2.
        Step("trackInformation", MixedDisc, Fail(op::ReadTrackInformation), nullptr, {}),
        Step("trackInformationAndHeader", MixedDisc,
             [](EmulatedDrive& d) {
                 d.FailCommand(op::ReadTrackInformation, -1);
                 d.FailCommand(op::ReadHeader, -1);
             },
             nullptr, {"track 1 Mode"})),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return std::string(info.param.name); });

TEST(OpticalDiskRead, TheHeaderOfTheTracksFirstBlockDecidesTheMode)
{
    // Track information says mode 2, the header of the track's first block says mode 1.
    FakeRig rig(MixedDisc());
    rig.intercept = [&rig](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        if (cdb[0] != op::ReadHeader) {
            return std::nullopt;
        }
        ScsiResult r = rig.drive->Execute(cdb, data);
        data[0] = 1;
        return r;
    };
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    EXPECT_EQ(rig.disc.Track(1)->Mode(), "Mode 1");
    EXPECT_EQ(rig.disc.Track(1)->RawSize().Whole(), 12000 * 2048);
    EXPECT_EQ(rig.disc.Track(2)->Mode(), "Audio");
}

// --- Answers that cannot be used ---------------------------------------------------------

// Answers the commands `which` picks with these bytes, as far as the buffer goes; refuses them when there
// are none.
test::Intercept Answering(std::function<bool(ConstBytes)> which, std::vector<std::uint8_t> bytes = {})
{
    return [which, bytes](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        if (!which(cdb)) {
            return std::nullopt;
        }
        if (bytes.empty()) {
            return test::Refused();
        }
        std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
        return ScsiResult::Success();
    };
}

struct BrokenAnswer {
    const char* name;
    test::Intercept intercept;
};

void PrintTo(const BrokenAnswer& c, std::ostream* os)
{
    *os << c.name;
}

class UnexpectedFailure : public ::testing::TestWithParam<BrokenAnswer> {};

TEST_P(UnexpectedFailure, EndsTheReadWithADescriptionAndDropsEveryRecord)
{
    FakeRig rig(emulator::MakeDemoCd());
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    const auto earlier = rig.disc.CD();
    const auto earlierTrack = rig.disc.Track(1);
    ASSERT_EQ(earlier->DiscStatus(), 2);

    rig.intercept = GetParam().intercept;
    EXPECT_FALSE(rig.disc.Read());
    EXPECT_FALSE(rig.disc.ErrorMessage().empty());
    EXPECT_EQ(rig.disc.Count(), 0);
    EXPECT_EQ(rig.disc.Track(1), nullptr);
    // Even what the steps before the failure learned (the disc information) is gone.
    const Facts facts = test::FactsOf(rig.disc);
    test::ExpectFacts(AllDefaults(facts), facts);
    // Records are replaced, never cleared: a caller's reference keeps the earlier read.
    EXPECT_EQ(earlier->DiscStatus(), 2);
    EXPECT_EQ(earlierTrack->Mode(), "Audio");
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, UnexpectedFailure,
    ::testing::Values(
        // Tracks 1 to 120, but three descriptors: track numbers past the answer.
        BrokenAnswer{"tocListsMoreTracksThanItDescribes",
                     Answering(RefuseToc(0), test::Hex("00 1A 01 78 00 10 01 00 00 00 00 00"
                                                       "00 10 02 00 00 00 4E 20 00 10 03 00 00 00 88 B8"))},
        // The last block address 7FFFFFFF cannot be counted up to a number of blocks.
        BrokenAnswer{"capacityBeyondTheLargestBlockCount",
                     Answering([](ConstBytes cdb) { return cdb[0] == op::ReadCapacity; },
                               test::Hex("7F FF FF FF 00 00 08 00"))},
        // The TOC fails in logical addresses but lists tracks in MSF form: no track array to fill.
        BrokenAnswer{"tocOnlyInMsfForm", Answering(RefuseToc(0, false))}),
    [](const ::testing::TestParamInfo<BrokenAnswer>& info) { return std::string(info.param.name); });

// A drive that takes READ TOC's format from byte 9 (older ATAPI drives, QEMU's ATAPI CD-ROM)
// answers a format-0 TOC for the session information, the ATIP and CD-Text: those answers
// count as failed commands, so a pressed CD does not read as a CD-R.
TEST(OpticalDiskRead, ADriveThatIgnoresTheTocFormatLosesOnlyWhatItCouldNotAnswer)
{
    for (const auto& disc : {emulator::MakeDemoCd(), DemoOnCdRw()}) {
        FakeRig good(disc);
        ASSERT_TRUE(good.disc.Read());
        emulator::DriveIdentity quirky;
        quirky.tocFormatInControlByte = true;
        FakeRig bad(disc);
        bad.drive = std::make_shared<EmulatedDrive>(bad.clock, quirky);
        bad.drive->Insert(disc);
        ASSERT_TRUE(bad.disc.Read()) << bad.disc.ErrorMessage();
        Facts expected = test::FactsOf(good.disc);
        for (auto& [key, value] : expected) {
            for (const char* lost : {"Sessions", "DiscType", "Title", "Artist", "track * Title", "track * Artist"}) {
                if (test::FactMatches(lost, key)) {
                    value = test::DefaultFact(key);
                }
            }
        }
        test::ExpectFacts(expected, test::FactsOf(bad.disc));
    }
}

// --- Answers out of the ordinary that a read still takes ------------------------------

struct OddAnswer {
    const char* name;
    test::Intercept intercept;
    std::function<void(OpticalDisk&)> expect;
};

void PrintTo(const OddAnswer& c, std::ostream* os)
{
    *os << c.name;
}

class OddAnswerIsRead : public ::testing::TestWithParam<OddAnswer> {};

TEST_P(OddAnswerIsRead, AsTheDriveGaveIt)
{
    FakeRig rig(emulator::MakeDemoCd());
    rig.intercept = GetParam().intercept;
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    GetParam().expect(rig.disc);
}

bool IsReadCapacity(ConstBytes cdb)
{
    return cdb[0] == op::ReadCapacity;
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, OddAnswerIsRead,
    ::testing::Values(
        // Both capacity numbers are signed: 0x80000000 is the most negative address.
        OddAnswer{"capacityWithTheTopBitSet", Answering(IsReadCapacity, test::Hex("80 00 00 00 00 00 08 00")),
                  [](OpticalDisk& d) {
                      EXPECT_EQ(d.CD()->TotalLogicalBlocks(), -2147483647);
                      EXPECT_EQ(d.CD()->TotalRawSize().Whole(), -2147483647LL * 2048);
                  }},
        OddAnswer{"capacityOfAllOnes", Answering(IsReadCapacity, test::Hex("FF FF FF FF 00 00 08 00")),
                  [](OpticalDisk& d) {
                      EXPECT_EQ(d.CD()->TotalLogicalBlocks(), 0);
                      EXPECT_EQ(d.CD()->TotalRawSize().Whole(), 0);
                  }},
        // Tracks 1 to 3, but only two descriptors answered: the third track's slots are the
        // zeros of the buffer.
        OddAnswer{"tocShorterThanItsTrackRange",
                  Answering(RefuseToc(0),
                            test::Hex("00 12 01 03 00 10 01 00 00 00 00 00 00 10 02 00 00 00 4E 20")),
                  [](OpticalDisk& d) {
                      ASSERT_EQ(d.Count(), 3);
                      EXPECT_EQ(d.Track(1)->LogicalBlocks(), 20000);
                      EXPECT_EQ(d.Track(2)->LBA(), 20000);
                      EXPECT_EQ(d.Track(2)->LogicalBlocks(), -20000);
                      EXPECT_EQ(d.Track(2)->RawSize().Whole(), -20000LL * 2352);
                      EXPECT_EQ(d.Track(3)->LBA(), 0);
                      EXPECT_EQ(d.Track(3)->LogicalBlocks(), 0);
                      EXPECT_EQ(d.Track(3)->Mode(), "Audio");
                  }},
        // The last track ends at the descriptor numbered 0xAA, not at the one after it.
        OddAnswer{"leadOutAfterAnExtraDescriptor",
                  Answering(RefuseToc(0),
                            test::Hex("00 1A 01 01 00 10 01 00 00 00 00 00 00 14 02 00 00 00 27 10"
                                      "00 10 AA 00 00 00 4E 20")),
                  [](OpticalDisk& d) {
                      ASSERT_EQ(d.Count(), 1);
                      EXPECT_EQ(d.Track(1)->LogicalBlocks(), 20000);
                  }}),
    [](const ::testing::TestParamInfo<OddAnswer>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvane
