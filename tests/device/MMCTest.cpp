// The transport: choosing the interface and finding the drive, the command blocks byte for byte,
// and what it makes of the drive's answers.
#include "device/MMC.h"
#include "support/FakePlatform.h"
#include "support/Hex.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace tolvane {
namespace {

using P = fake::FakePlatform;
using test::Hex;
const char* const Interfaces[] = {MMC::InterfaceSpti, MMC::InterfaceAspi};

fake::FakeDrive& AspiAt(P& p, std::uint8_t adapter = 0, std::uint8_t target = 1)
{
    p.SetAspiLibrary(true, true);
    return p.AddAspiDrive('E', adapter, target);
}

P& WithAspi(P& p, std::uint8_t adapter = 0, std::uint8_t target = 1)
{
    AspiAt(p, adapter, target);
    return p;
}

// Drive E: opened over the interface named (over ASPI at the adapter and target given).
struct Rig {
    explicit Rig(const std::string& interfaceName, std::uint8_t adapter = 0, std::uint8_t target = 1)
    {
        drive = interfaceName == MMC::InterfaceAspi ? &AspiAt(platform, adapter, target)
                                                    : &platform.AddDrive('E');
        EXPECT_TRUE(mmc.Create("E:", ""));
        EXPECT_EQ(mmc.Interface(), interfaceName);
    }
    P platform;
    fake::FakeDrive* drive = nullptr;
    MMC mmc{platform};
};

TEST(Create, ChoosesInterfaceAndReportsFailures)
{
    const struct {
        const char* name;
        std::function<void(P&)> setUp;
        std::string requested, message, interfaceName;
        bool ok, libraryProbed; // whether WnAspi32.dll was asked about
    } cases[] = {{"NoDriveAtLetter", [](P&) {}, "", "Error accessing drive", "", false, false},
                 {"NotAnOpticalDrive", [](P& p) { p.AddDrive('E').optical = false; }, "",
                  "Error accessing drive", "", false, false},
                 {"AspiAbsentChoosesSpti", [](P& p) { p.AddDrive('E'); }, "", "", "SPTI", true, true},
                 {"AspiWithoutSendCommandChoosesSpti", [](P& p) { WithAspi(p).SetAspiLibrary(true, false); },
                  "", "", "SPTI", true, true},
                 {"AspiPresentChoosesAspi", [](P& p) { AspiAt(p); }, "", "", "ASPI", true, true},
                 {"AspiRequestedWithoutLibrary", [](P& p) { p.AddDrive('E'); }, "ASPI",
                  "Error accessing driver", "", false, true},
                 {"SptiRequestedWithAspiPresent", [](P& p) { AspiAt(p); }, "SPTI", "", "SPTI", true, false},
                 {"UnknownInterfaceName", [](P& p) { p.AddDrive('E'); }, "SCSI", "Error accessing driver", "",
                  false, false},
                 // Windows puts the drive elsewhere.
                 {"AspiNoMatchingDevice", [](P& p) { AspiAt(p).address.TargetId = 4; }, "",
                  "Error accessing drive", "ASPI", false, true},
                 {"AspiMatchBehindFailingAdapter", [](P& p) { WithAspi(p, 1, 3).aspi.failingAdapters = {0}; },
                  "", "", "ASPI", true, true},
                 {"AspiAddressFails", [](P& p) { AspiAt(p).addressFails = true; }, "",
                  "Error accessing drive", "ASPI", false, true},
                 {"SptiOpenFails", [](P& p) { p.AddDrive('E').openFails = true; }, "", "Invalid handle",
                  "SPTI", false, true},
                 {"SptiAddressFails", [](P& p) { p.AddDrive('E').addressFails = true; }, "",
                  "Error reading SCSI address", "SPTI", false, true},
                 {"AddressThrowsWithHandleOpen",
                  [](P& p) { p.AddDrive('E').addressThrows = "ioctl blew up"; }, "", "ioctl blew up", "SPTI",
                  false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        P platform;
        c.setUp(platform);
        MMC mmc(platform);
        EXPECT_EQ(mmc.Create("E:", c.requested), c.ok);
        EXPECT_EQ(std::tuple(mmc.ErrorMessage(), mmc.Interface(), mmc.IsOpen(), platform.OpenHandles()),
                  std::tuple(c.message, c.interfaceName, c.ok, c.ok ? 1 : 0));
        // The fake answers only WnAspi32.dll with its two routines, so ASPI chosen proves the names.
        EXPECT_EQ(!platform.Probes().empty(), c.libraryProbed);
        if (c.ok)
            continue;
        if (c.interfaceName.empty()) {
            EXPECT_FALSE(mmc.TestUnitReady()) << "no interface, no command";
            EXPECT_TRUE(platform.Commands().empty());
        }
        // A failed Create leaves the object as new: the next Create on it runs normally.
        platform.AddDrive('F');
        EXPECT_TRUE(mmc.Create("F:", "SPTI")) << mmc.ErrorMessage();
        EXPECT_EQ(mmc.ErrorMessage(), "");
        EXPECT_EQ(platform.OpenHandles(), 1);
    }
}

TEST(Create, TakesTheAddressSptiOrAspiAndKeepsItWhenCalledAgain)
{
    P platform;
    platform.AddDrive('E').address = {.PortNumber = 2, .PathId = 1, .TargetId = 5, .Lun = 3};
    platform.AddDrive('F');
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));
    EXPECT_EQ(std::tuple(mmc.PathId(), mmc.TargetId(), mmc.Lun()), std::tuple(1, 5, 3));
    // A second Create fails before anything is reset: the drive already open stays usable.
    EXPECT_FALSE(mmc.Create("F:", ""));
    EXPECT_EQ(mmc.ErrorMessage(), "Handle already open");
    EXPECT_EQ(std::tuple(platform.OpenHandles(), mmc.Interface(), mmc.TargetId(), mmc.Lun()),
              std::tuple(1, "SPTI", 5, 3));
    EXPECT_TRUE(mmc.TestUnitReady());
    ASSERT_EQ(platform.Commands().size(), 1u);
    EXPECT_EQ(platform.Commands().front().letter, 'E');

    // ASPI skips the CD-ROM devices of other drives; E: is opened once per device tried, only the match stays
    // open.
    P aspiPlatform;
    aspiPlatform.SetAspiLibrary(true, true);
    aspiPlatform.AddAspiDrive('D', 0, 0);
    aspiPlatform.AddAspiDrive('E', 1, 3);
    MMC overAspi(aspiPlatform);
    ASSERT_TRUE(overAspi.Create("E:", ""));
    EXPECT_EQ(std::tuple(overAspi.HostAdapter(), overAspi.AspiTarget()), std::tuple(1, 3));
    EXPECT_EQ(aspiPlatform.Opens(), 2);
    EXPECT_EQ(aspiPlatform.OpenHandles(), 1);
}

TEST(Destroy, ClosesTheHandleAndMayBeRepeated)
{
    for (const char* interfaceName : Interfaces) {
        SCOPED_TRACE(interfaceName);
        Rig rig(interfaceName);
        rig.mmc.Destroy();
        rig.mmc.Destroy();
        EXPECT_EQ(std::tuple(rig.mmc.IsOpen(), rig.platform.OpenHandles(), rig.mmc.Interface()),
                  std::tuple(false, 0, interfaceName));
        // ASPI addresses the device by adapter and target, not through the handle; the pass-through
        // sends nothing to a closed drive.
        const bool aspi = interfaceName == std::string(MMC::InterfaceAspi);
        EXPECT_EQ(rig.mmc.TestUnitReady(), aspi);
        EXPECT_EQ(rig.platform.Commands().size(), aspi ? 1u : 0u);
        EXPECT_TRUE(rig.mmc.Create("E:", ""));
    }
}

using Send = std::function<bool(MMC&, std::uint8_t*)>;

TEST(CommandBlock, ReachesTheDriveExactly)
{
    const struct {
        Send send;
        const char* cdb;
        std::size_t dataLength;
    } cases[] = {
        {[](MMC& m, auto* b) { return m.GetEventStatusNotification(0x10, 8, b); },
         "4A 01 00 00 10 00 00 00 08 00", 8},
        {[](MMC& m, auto* b) { return m.Inquiry(0x0123, b); }, "12 00 00 01 23 00", 0x0123},
        {[](MMC& m, auto* b) { return m.ModeSense(0x2A, 30, b); }, "5A 00 2A 00 00 00 00 00 1E 00", 30},
        {[](MMC& m, auto* b) { return m.Read(0x12345678, 2048, b); }, "28 00 12 34 56 78 00 00 01 00", 2048},
        {[](MMC& m, auto* b) { return m.ReadCapacity(8, b); }, "25 00 00 00 00 00 00 00 00 00", 8},
        {[](MMC& m, auto* b) { return m.ReadCD(-150, 2352, b); }, "BE 04 FF FF FF 6A 00 00 01 F8 00 00",
         2352},
        {[](MMC& m, auto* b) { return m.ReadCD(0x01020304, 65535, 2352, b); },
         "BE 04 01 02 03 04 00 FF FF F8 00 00", 2352},
        // Formatted Q of any sector type, alone and after the main channel.
        {[](MMC& m, auto* b) { return m.ReadCDSubQ(0x0A0B0C, 3, false, 48, b); },
         "BE 00 00 0A 0B 0C 00 00 03 00 02 00", 48},
        {[](MMC& m, auto* b) { return m.ReadCDSubQ(7, 1, true, 2368, b); },
         "BE 00 00 00 00 07 00 00 01 F8 02 00", 2368},
        {[](MMC& m, auto* b) { return m.ReadDiscInformation(34, b); }, "51 00 00 00 00 00 00 00 22 00", 34},
        {[](MMC& m, auto* b) { return m.ReadDiscStructure(1, 8, b); }, "AD 00 00 00 00 00 00 01 00 08 00 00",
         8},
        {[](MMC& m, auto* b) { return m.ReadHeader(false, 0x00ABCDEF, 8, b); },
         "44 00 00 AB CD EF 00 00 08 00", 8},
        {[](MMC& m, auto* b) { return m.ReadSubChannel(3, 5, 24, b); }, "42 00 40 03 00 00 05 00 18 00", 24},
        {[](MMC& m, auto* b) { return m.ReadTOC(true, 5, 0x1234, b); }, "43 02 05 00 00 00 00 12 34 00",
         0x1234},
        {[](MMC& m, auto* b) { return m.ReadTrackInformation(7, 36, b); }, "52 01 00 00 00 07 00 00 24 00",
         36},
        {[](MMC& m, auto*) { return m.StartStopUnit(false); }, "1B 00 00 00 02 00", 0},
        {[](MMC& m, auto*) { return m.TestUnitReady(); }, "00 00 00 00 00 00", 0}};
    for (const char* interfaceName : Interfaces)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(interfaceName) + " " + c.cdb);
            Rig rig(interfaceName, 1, 2);
            std::vector<std::uint8_t> buffer(0x1234);
            EXPECT_TRUE(c.send(rig.mmc, buffer.data()));
            ASSERT_EQ(rig.platform.Commands().size(), 1u);
            const fake::SentCommand& sent = rig.platform.Commands().front();
            EXPECT_EQ(sent.letter, 'E');
            EXPECT_EQ(sent.cdb, Hex(c.cdb));
            EXPECT_EQ(sent.dataLength, c.dataLength);
        }
}

TEST(CommandBlock, BadArgumentsFailWithoutReachingTheDrive)
{
    const std::pair<const char*, Send> cases[] = {
        {"NegativeSize", [](MMC& m, auto* b) { return m.Inquiry(-1, b); }},
        {"NullBuffer", [](MMC& m, auto*) { return m.Inquiry(36, nullptr); }},
        {"BurstNoBlocks", [](MMC& m, auto* b) { return m.ReadCD(0, 0, 2352, b); }},
        {"BurstTooManyBlocks", [](MMC& m, auto* b) { return m.ReadCD(0, 65536, 2352, b); }},
        {"BurstNegativeSize", [](MMC& m, auto* b) { return m.ReadCD(0, 2, -1, b); }}};
    for (const auto& [name, send] : cases) {
        SCOPED_TRACE(name);
        Rig rig(MMC::InterfaceSpti);
        std::vector<std::uint8_t> buffer(4 * 2352, 0xAA);
        EXPECT_FALSE(send(rig.mmc, buffer.data()));
        EXPECT_TRUE(rig.platform.Commands().empty());
        EXPECT_EQ(rig.mmc.LastResult().transport, TransportOutcome::NotSent);
        EXPECT_EQ(buffer.front(), 0xAA) << "a rejected command must not touch the buffer";
    }
}

ScsiResult With(TransportOutcome outcome, std::uint8_t status = 0)
{
    ScsiResult r = ScsiResult::Success();
    r.transport = outcome;
    r.status = status;
    return r;
}

TEST(Answers, SucceedOnlyWhenDeliveredWithGood)
{
    const std::pair<ScsiResult, bool> cases[] = {
        {ScsiResult::Success(), true},
        {ScsiResult::CheckCondition(scsi::SenseNotReady, 0x3A, 0x01), false},
        {With(TransportOutcome::Delivered, scsi::StatusBusy), false},
        {With(TransportOutcome::OsError), false},
        {With(TransportOutcome::HostError), false},
        {With(TransportOutcome::ShortRead), false}};
    for (const char* interfaceName : Interfaces)
        for (const auto& [answer, ok] : cases) {
            SCOPED_TRACE(std::string(interfaceName) + " " + answer.Describe());
            Rig rig(interfaceName);
            rig.drive->Queue(answer);
            std::uint8_t buffer[8] = {};
            EXPECT_EQ(rig.mmc.ReadCapacity(sizeof buffer, buffer), ok);
            EXPECT_EQ(rig.platform.Commands().size(), 1u) << "only UNIT ATTENTION is sent again";
            // The sense survives the trip through either interface, for diagnostics.
            if (answer.status == scsi::StatusCheckCondition) {
                const ScsiResult& last = rig.mmc.LastResult();
                EXPECT_EQ(std::tuple(last.SenseKey(), last.Asc(), last.Ascq()),
                          std::tuple(answer.SenseKey(), answer.Asc(), answer.Ascq()));
            }
        }
}

// The observer sees each command once, with its last answer.
TEST(Answers, UnitAttentionIsSentAgainUpToThreeTimes)
{
    for (const char* interfaceName : Interfaces)
        for (int unitAttentions = 0; unitAttentions <= 4; ++unitAttentions) {
            SCOPED_TRACE(std::string(interfaceName) + " " + std::to_string(unitAttentions));
            Rig rig(interfaceName);
            // The buffer is zeroed before each command: neither the caller's bytes nor the junk each UNIT
            // ATTENTION leaves behind may show through a short answer.
            for (int i = 0; i < unitAttentions; ++i)
                rig.drive->Queue(ScsiResult::CheckCondition(scsi::SenseUnitAttention, 0x28, 0x00),
                                 {0xEE, 0xEE, 0xEE, 0xEE});
            rig.drive->Queue(ScsiResult::Success(), {0x01, 0x02});
            std::vector<std::string> observed;
            rig.mmc.SetCommandObserver([&](std::span<const std::uint8_t>, const ScsiResult& result) {
                observed.push_back(result.Describe());
            });
            const bool ok = unitAttentions < 4;
            // One byte more than the size given, as the drive list passes it: that byte is the caller's.
            std::uint8_t buffer[5] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
            EXPECT_EQ(rig.mmc.Inquiry(4, buffer), ok);
            EXPECT_EQ(buffer[4], 0xAA);
            const auto& sent = rig.platform.Commands();
            ASSERT_EQ(sent.size(), std::size_t(ok ? unitAttentions + 1 : 4));
            for (const auto& command : sent) {
                EXPECT_TRUE(command.dataWasZero);
                EXPECT_EQ(command.cdb, sent.front().cdb);
            }
            EXPECT_EQ(observed, std::vector<std::string>{ok ? "GOOD" : "CHECK CONDITION 06/28/00"});
            if (ok) {
                EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4),
                          (std::vector<std::uint8_t>{1, 2, 0, 0}));
            } else {
                EXPECT_TRUE(rig.mmc.LastResult().IsUnitAttention()) << "the last answer counts";
            }
        }
}

} // namespace
} // namespace tolvane
