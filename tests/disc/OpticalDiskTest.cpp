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

// Twelve tracks: eleven audio tracks, then a Mode 1 track in a second session.
std::shared_ptr<emulator::Disc> TwelveTracks()
{
    std::vector<test::TrackSpec> tracks;
    for (std::uint8_t n = 1; n <= 11; ++n) {
        tracks.push_back({n, TrackMode::Audio, (n - 1) * 10000});
    }
    tracks.push_back({12, TrackMode::Mode1, 110000 + 11400, 0, 2});
    return test::BuildCd(tracks, {Session{1, 110000, 0x00}, Session{2, 140000, 0x00}});
}

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

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, OperationsWhenUnbound,
    ::testing::Values(UnboundOperation{"Check", [](OpticalDisk& d) { return std::optional(d.Check()); }},
                      UnboundOperation{"Eject",
                                       [](OpticalDisk& d) {
                                           d.Eject();
                                           return std::optional<bool>();
                                       }},
                      UnboundOperation{"Load",
                                       [](OpticalDisk& d) {
                                           d.Load();
                                           return std::optional<bool>();
                                       }},
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
    FakeRig rig(TwelveTracks());
    ASSERT_TRUE(rig.disc.Read()) << rig.disc.ErrorMessage();
    ASSERT_EQ(rig.disc.Count(), 12);
    // A failure left by another operation stays: Track does not touch ErrorMessage.
    EXPECT_FALSE(rig.disc.Extract(13, "/nonexistent-folder/track13.wav"));
    const std::string message = rig.disc.ErrorMessage();
    ASSERT_FALSE(message.empty());
    for (const std::int16_t index : {std::int16_t{0}, std::int16_t{13}, std::int16_t{-1}, std::int16_t{255},
                                     std::int16_t{256}, std::int16_t{32767}, std::int16_t{-32768}}) {
        EXPECT_EQ(rig.disc.Track(index), nullptr) << index;
    }
    EXPECT_EQ(rig.disc.ErrorMessage(), message);
    ASSERT_NE(rig.disc.Track(12), nullptr);
    EXPECT_EQ(rig.disc.Track(12)->LBA(), 121400);
    EXPECT_EQ(rig.disc.Track(12)->Mode(), "Mode 1");
    EXPECT_EQ(rig.disc.Track(1)->LBA(), 0);
    EXPECT_EQ(rig.disc.Track(12), rig.disc.Track(12)) << "the same record each time";
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

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, OneCommandFails,
    ::testing::Values(
        StepFailure{"discInformation",
                    DemoOnCdRw,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadDiscInformation, -1); },
                    nullptr,
                    {"DiscStatus", "DiscFormat", "Erasable"}},
        StepFailure{"capacity",
                    emulator::MakeDemoCd,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadCapacity, -1); },
                    nullptr,
                    {"TotalLogicalBlocks", "TotalRawSize"}},
        // The first READ SUB-CHANNEL asks for the catalogue number; the track codes come later.
        StepFailure{"catalogueNumber",
                    emulator::MakeDemoCd,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadSubChannel, 1); },
                    nullptr,
                    {"UPC"}},
        StepFailure{"everySubChannel",
                    emulator::MakeDemoCd,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadSubChannel, -1); },
                    nullptr,
                    {"UPC", "track * ISRC"}},
        StepFailure{"cdText",
                    emulator::MakeDemoCd,
                    nullptr,
                    [](ConstBytes cdb) { return IsReadToc(cdb, 5); },
                    {"Title", "Artist", "track * Title", "track * Artist"}},
        StepFailure{"sessions",
                    emulator::MakeDemoCd,
                    nullptr,
                    [](ConstBytes cdb) { return IsReadToc(cdb, 1); },
                    {"Sessions"}},
        StepFailure{
            "atip", DemoOnCdRw, nullptr, [](ConstBytes cdb) { return IsReadToc(cdb, 4); }, {"DiscType"}},
        // An audio CD's serial number comes from the same answer.
        StepFailure{"tocInMsfForm",
                    emulator::MakeDemoCd,
                    nullptr,
                    [](ConstBytes cdb) { return IsReadToc(cdb, 0, true); },
                    {"track * MSF", "CDDB", "SerialNumber"}},
        StepFailure{"volumeDescriptor", emulator::MakeDemoDvd,
                    [](EmulatedDrive& d) { d.FailCommand(op::Read10, -1); }, nullptr, IsoFactsAndSerial()},
        StepFailure{"dvdStructures",
                    emulator::MakeDemoDvd,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadDiscStructure, -1); },
                    nullptr,
                    {"DiscType", "Layers", "Region"}},
        // READ HEADER still says mode 2.
        StepFailure{"trackInformation",
                    MixedDisc,
                    [](EmulatedDrive& d) { d.FailCommand(op::ReadTrackInformation, -1); },
                    nullptr,
                    {}},
        StepFailure{"trackInformationAndHeader",
                    MixedDisc,
                    [](EmulatedDrive& d) {
                        d.FailCommand(op::ReadTrackInformation, -1);
                        d.FailCommand(op::ReadHeader, -1);
                    },
                    nullptr,
                    {"track 1 Mode"}}),
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

// Answers a command with these bytes, as far as the buffer goes.
std::optional<ScsiResult> Give(Bytes data, const std::vector<std::uint8_t>& bytes)
{
    std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
    return ScsiResult::Success();
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
                     [](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
                         if (!IsReadToc(cdb, 0)) {
                             return std::nullopt;
                         }
                         return Give(data, test::Hex("00 1A 01 78"
                                                     "00 10 01 00 00 00 00 00"
                                                     "00 10 02 00 00 00 4E 20"
                                                     "00 10 03 00 00 00 88 B8"));
                     }},
        // The last block address 7FFFFFFF cannot be counted up to a number of blocks.
        BrokenAnswer{"capacityBeyondTheLargestBlockCount",
                     [](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
                         if (cdb[0] != op::ReadCapacity) {
                             return std::nullopt;
                         }
                         return Give(data, test::Hex("7F FF FF FF 00 00 08 00"));
                     }},
        // The TOC fails in logical addresses but lists tracks in MSF form: no track array to fill.
        BrokenAnswer{"tocOnlyInMsfForm",
                     [](ConstBytes cdb, Bytes) -> std::optional<ScsiResult> {
                         if (!IsReadToc(cdb, 0, false)) {
                             return std::nullopt;
                         }
                         return test::Refused();
                     }}),
    [](const ::testing::TestParamInfo<BrokenAnswer>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvane
