// Create and Destroy of the transport: choosing the interface, finding the drive
// and what is left behind when that fails.
#include "device/MMC.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace tolvane {
namespace {

struct CreateCase {
    std::string name;
    std::function<void(fake::FakePlatform&)> setUp;
    std::string requested; // the interface asked for
    bool ok;
    std::string message;
    std::string interfaceName;
    bool libraryProbed; // whether WnAspi32.dll was asked about
};

// Every case creates drive E:. Drive F: is a plain drive that the pass-through can
// always reach, to show that the object is usable after a failed Create.
void AspiLibrary(fake::FakePlatform& p)
{
    p.SetAspiLibrary(true, true);
}

const std::vector<CreateCase> CreateCases = {
    {"NoDriveAtLetter", [](fake::FakePlatform&) {}, "", false, "Error accessing drive", "", false},
    {"NotAnOpticalDrive", [](fake::FakePlatform& p) { p.AddDrive('E').optical = false; }, "", false,
     "Error accessing drive", "", false},
    {"AspiAbsentChoosesSpti", [](fake::FakePlatform& p) { p.AddDrive('E'); }, "", true, "", "SPTI", true},
    {"AspiWithoutSendCommandChoosesSpti",
     [](fake::FakePlatform& p) {
         p.SetAspiLibrary(true, false);
         p.AddAspiDrive('E', 0, 1);
     },
     "", true, "", "SPTI", true},
    {"AspiWithoutSupportInfoChoosesSpti",
     [](fake::FakePlatform& p) {
         p.SetAspiLibrary(false, true);
         p.AddAspiDrive('E', 0, 1);
     },
     "", true, "", "SPTI", true},
    {"AspiPresentChoosesAspi",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
     },
     "", true, "", "ASPI", true},
    {"AspiRequestedWithoutLibrary", [](fake::FakePlatform& p) { p.AddDrive('E'); }, "ASPI", false,
     "Error accessing driver", "", true},
    {"AspiRequestedPartlyPresent",
     [](fake::FakePlatform& p) {
         p.SetAspiLibrary(true, false);
         p.AddAspiDrive('E', 0, 1);
     },
     "ASPI", false, "Error accessing driver", "", true},
    {"SptiRequestedWithAspiPresent",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
     },
     "SPTI", true, "", "SPTI", false},
    {"UnknownInterfaceName", [](fake::FakePlatform& p) { p.AddDrive('E'); }, "SCSI", false,
     "Error accessing driver", "", false},
    {"AspiNoMatchingDevice",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1).address.TargetId = 4; // Windows puts the drive elsewhere
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiAdapterPortMismatch",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1).address.PortNumber = 1;
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiStatusZero",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
         p.aspi.supportInfo = 0x00000001; // one adapter, but no status
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiEntryPointsUnbound",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
         p.aspiBindable = false;
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiDeviceNotCdRom",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
         p.aspi.devices.front().deviceType = 0; // a disk
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiAdapterInquiryFails",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1);
         p.aspi.failingAdapters = {0};
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiMatchBehindFailingAdapter",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 1, 3);
         p.aspi.failingAdapters = {0};
     },
     "", true, "", "ASPI", true},
    {"AspiOpenFails",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1).openFails = true;
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"AspiAddressFails",
     [](fake::FakePlatform& p) {
         AspiLibrary(p);
         p.AddAspiDrive('E', 0, 1).addressFails = true;
     },
     "", false, "Error accessing drive", "ASPI", true},
    {"SptiOpenFails", [](fake::FakePlatform& p) { p.AddDrive('E').openFails = true; }, "", false,
     "Invalid handle", "SPTI", true},
    {"SptiAddressFails", [](fake::FakePlatform& p) { p.AddDrive('E').addressFails = true; }, "", false,
     "Error reading SCSI address", "SPTI", true},
    {"ProbeThrows",
     [](fake::FakePlatform& p) {
         p.AddDrive('E');
         p.libraryProbe = [](const std::string&, const std::string&) -> bool {
             throw std::runtime_error("probe failed");
         };
     },
     "", false, "probe failed", "", true},
    {"OpenThrows", [](fake::FakePlatform& p) { p.AddDrive('E').openThrows = "device gone"; }, "", false,
     "device gone", "SPTI", true},
    {"AddressThrowsWithHandleOpen",
     [](fake::FakePlatform& p) { p.AddDrive('E').addressThrows = "ioctl blew up"; }, "", false,
     "ioctl blew up", "SPTI", true},
};

class Create : public ::testing::TestWithParam<CreateCase> {};

TEST_P(Create, ChoosesInterfaceAndReportsFailures)
{
    const CreateCase& c = GetParam();
    fake::FakePlatform platform;
    c.setUp(platform);
    MMC mmc(platform);

    EXPECT_EQ(mmc.Create("E:", c.requested), c.ok);
    EXPECT_EQ(mmc.ErrorMessage(), c.message);
    EXPECT_EQ(mmc.Interface(), c.interfaceName);
    EXPECT_EQ(mmc.IsOpen(), c.ok);
    EXPECT_EQ(platform.OpenHandles(), c.ok ? 1 : 0);
    EXPECT_EQ(!platform.Probes().empty(), c.libraryProbed);
    for (const auto& [file, routine] : platform.Probes()) {
        EXPECT_EQ(file, "WnAspi32.dll");
        EXPECT_TRUE(routine == "GetASPI32SupportInfo" || routine == "SendASPI32Command") << routine;
    }

    // A failed Create leaves the object as new: the next Create on it runs normally.
    if (!c.ok) {
        platform.libraryProbe = nullptr;
        platform.AddDrive('F');
        EXPECT_TRUE(mmc.Create("F:", "SPTI")) << mmc.ErrorMessage();
        EXPECT_EQ(mmc.ErrorMessage(), "");
        EXPECT_EQ(platform.OpenHandles(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Create, ::testing::ValuesIn(CreateCases),
                         [](const auto& info) { return info.param.name; });

TEST(CreateSpti, TakesTheAddressOfTheDrive)
{
    fake::FakePlatform platform;
    platform.AddDrive('E').address = {.PortNumber = 2, .PathId = 1, .TargetId = 5, .Lun = 3};
    MMC mmc(platform);

    ASSERT_TRUE(mmc.Create("E:", ""));
    EXPECT_EQ(mmc.PathId(), 1);
    EXPECT_EQ(mmc.TargetId(), 5);
    EXPECT_EQ(mmc.Lun(), 3);
}

TEST(CreateAspi, SkipsCdRomDevicesOfOtherDrives)
{
    fake::FakePlatform platform;
    platform.SetAspiLibrary(true, true);
    platform.AddAspiDrive('D', 0, 0);
    platform.AddAspiDrive('E', 1, 3);
    MMC mmc(platform);

    ASSERT_TRUE(mmc.Create("E:", ""));
    EXPECT_EQ(mmc.HostAdapter(), 1);
    EXPECT_EQ(mmc.AspiTarget(), 3);
    // E: was opened once for each CD-ROM device tried, and only the match stays open.
    EXPECT_EQ(platform.Opens(), 2);
    EXPECT_EQ(platform.OpenHandles(), 1);
}

TEST(CreateAspi, QueriesEveryTargetOfEachAdapterInOrder)
{
    fake::FakePlatform platform;
    platform.SetAspiLibrary(true, true);
    platform.AddAspiDrive('E', 1, 7);
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));

    // Adapter 0: inquiry and targets 0-7; adapter 1: inquiry and targets 0-7 (the last matches).
    const auto& requests = platform.aspi.requests;
    ASSERT_EQ(requests.size(), 18u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::uint8_t adapter = i < 9 ? 0 : 1;
        const std::size_t withinAdapter = i % 9;
        EXPECT_EQ(requests[i][2], adapter) << i;
        if (withinAdapter == 0) {
            EXPECT_EQ(requests[i].size(), 60u);
            EXPECT_EQ(requests[i][0], 0) << "host adapter inquiry";
        } else {
            EXPECT_EQ(requests[i].size(), 12u);
            EXPECT_EQ(requests[i][0], 1) << "device type query";
            EXPECT_EQ(requests[i][8], withinAdapter - 1) << "target";
        }
    }
}

TEST(CreateTwice, KeepsTheFirstHandleUsable)
{
    fake::FakePlatform platform;
    platform.AddDrive('E').address = {.PortNumber = 0, .PathId = 1, .TargetId = 2, .Lun = 0};
    platform.AddDrive('F');
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));

    EXPECT_FALSE(mmc.Create("F:", ""));
    EXPECT_EQ(mmc.ErrorMessage(), "Handle already open");
    EXPECT_EQ(platform.OpenHandles(), 1);
    EXPECT_EQ(mmc.Interface(), "SPTI");
    EXPECT_EQ(mmc.TargetId(), 2);

    EXPECT_TRUE(mmc.TestUnitReady());
    ASSERT_EQ(platform.Commands().size(), 1u);
    EXPECT_EQ(platform.Commands().front().letter, 'E');
}

TEST(Destroy, ClosesTheHandleAndMayBeRepeated)
{
    fake::FakePlatform platform;
    platform.AddDrive('E');
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));

    mmc.Destroy();
    EXPECT_FALSE(mmc.IsOpen());
    EXPECT_EQ(platform.OpenHandles(), 0);
    mmc.Destroy();
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(mmc.Interface(), "SPTI") << "Destroy keeps the interface";

    // Over the pass-through a closed drive gets nothing.
    EXPECT_FALSE(mmc.TestUnitReady());
    EXPECT_TRUE(platform.Commands().empty());
    EXPECT_EQ(mmc.LastResult().transport, TransportOutcome::NotSent);

    EXPECT_TRUE(mmc.Create("E:", ""));
}

TEST(Destroy, AfterAFailedCreateOnlyEmptiesTheMessage)
{
    fake::FakePlatform platform;
    platform.AddDrive('E').openFails = true;
    MMC mmc(platform);
    ASSERT_FALSE(mmc.Create("E:", ""));
    ASSERT_EQ(mmc.ErrorMessage(), "Invalid handle");

    mmc.Destroy();
    EXPECT_EQ(mmc.ErrorMessage(), "");
    EXPECT_EQ(mmc.Interface(), "SPTI");
    EXPECT_EQ(platform.Opens(), 0);
}

TEST(Destroy, AspiCommandsStillReachTheLastMatchedDevice)
{
    // ASPI addresses the device by adapter and target, not through the handle.
    fake::FakePlatform platform;
    platform.SetAspiLibrary(true, true);
    platform.AddAspiDrive('E', 0, 2);
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));
    mmc.Destroy();

    EXPECT_TRUE(mmc.TestUnitReady());
    ASSERT_EQ(platform.Commands().size(), 1u);
    EXPECT_EQ(platform.Commands().front().letter, 'E');
    EXPECT_TRUE(platform.Commands().front().viaAspi);
}

TEST(NoInterface, SendsNothing)
{
    fake::FakePlatform platform;
    platform.AddDrive('E');
    MMC mmc(platform);
    ASSERT_FALSE(mmc.Create("E:", "SCSI"));

    std::uint8_t buffer[36] = {};
    EXPECT_FALSE(mmc.Inquiry(sizeof buffer, buffer));
    EXPECT_FALSE(mmc.TestUnitReady());
    EXPECT_TRUE(platform.Commands().empty());
}

} // namespace
} // namespace tolvane
