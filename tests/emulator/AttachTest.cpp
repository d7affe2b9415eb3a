#include "emulator/Attach.h"

#include "emulator/DemoDiscs.h"

#include "support/TestData.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using Kind = DriveRequest::Kind;

using test::TempDir;

// Each request gets the next letter: an empty drive, the demo CD and DVD (two drives), an image.
TEST(AttachDrives, DrivesGetLettersInRequestOrder)
{
    TempDir dir;
    const std::string iso = dir.Write("small.iso", std::string(200 * 2048, '\0'));
    VirtualDriveRegistry registry;
    const AttachResult result =
        AttachDrives(registry, {{Kind::Empty, {}}, {Kind::Demo, {}}, {Kind::Image, iso}, {Kind::Empty, {}}},
                     std::make_shared<VirtualClock>());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(result.letters, (std::vector<std::string>{"D:", "E:", "F:", "G:", "H:"}));
    ASSERT_EQ(result.drives.size(), 5u);
    EXPECT_EQ(registry.Count(), 5u);
    std::vector<std::int32_t> capacities;
    for (std::size_t i = 0; i < result.drives.size(); ++i) {
        EXPECT_EQ(registry.Find(result.letters[i]), result.drives[i]) << result.letters[i];
        const std::shared_ptr<const Disc> disc = result.drives[i]->CurrentDisc();
        capacities.push_back(disc == nullptr ? 0 : disc->capacity);
    }
    EXPECT_EQ(capacities,
              (std::vector<std::int32_t>{0, MakeDemoCd()->capacity, MakeDemoDvd()->capacity, 200, 0}));
}

// A bad image attaches nothing, not even the good requests around it, and reports the loader's
// message, which names the file.
TEST(AttachDrives, ABadImageAttachesNothingAndReportsTheLoadersMessage)
{
    TempDir dir;
    const std::string path =
        dir.Write("lost.cue", "FILE \"lost.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    VirtualDriveRegistry registry;
    const auto earlier = std::make_shared<EmulatedDrive>();
    ASSERT_EQ(registry.Attach(earlier), "D:");
    const AttachResult result =
        AttachDrives(registry, {{Kind::Demo, {}}, {Kind::Image, path}, {Kind::Empty, {}}},
                     std::make_shared<VirtualClock>());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, LoadImage(path).error);
    EXPECT_NE(result.error.find("lost.cue"), std::string::npos) << result.error;
    EXPECT_TRUE(result.letters.empty());
    EXPECT_TRUE(result.drives.empty());
    EXPECT_EQ(registry.Count(), 1u);
    EXPECT_EQ(registry.Find("D:"), earlier);
    EXPECT_EQ(registry.Find("E:"), nullptr);
}

// Letters follow the drives attached earlier; when the letters would run out, nothing is attached.
TEST(AttachDrives, TooManyDrivesAttachNothing)
{
    VirtualDriveRegistry registry;
    while (registry.Count() < 22) { // D: to Y:
        registry.Attach(std::make_shared<EmulatedDrive>());
    }
    const AttachResult refused = AttachDrives(registry, {{Kind::Demo, {}}}, nullptr);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_TRUE(refused.letters.empty());
    EXPECT_EQ(registry.Count(), 22u);

    // One letter is left.
    const AttachResult last = AttachDrives(registry, {{Kind::Empty, {}}}, nullptr);
    ASSERT_TRUE(last.ok) << last.error;
    EXPECT_EQ(last.letters, std::vector<std::string>{"Z:"});
}

// The drives run on the clock they were given: a spin-up is over only when that clock says so.
TEST(AttachDrives, DrivesShareTheGivenClock)
{
    const auto clock = std::make_shared<VirtualClock>();
    VirtualDriveRegistry registry;
    const AttachResult result = AttachDrives(registry, {{Kind::Demo, {}}}, clock);
    ASSERT_TRUE(result.ok) << result.error;
    EmulatedDrive& drive = *result.drives[0];
    drive.SetSpinUpTime(std::chrono::seconds(5));
    drive.Insert(drive.CurrentDisc());
    const std::uint8_t testUnitReady[6] = {};
    EXPECT_TRUE(drive.Execute(testUnitReady, {}).IsUnitAttention());
    EXPECT_EQ(drive.Execute(testUnitReady, {}).SenseKey(), scsi::SenseNotReady);
    clock->Advance(std::chrono::seconds(6));
    EXPECT_TRUE(drive.Execute(testUnitReady, {}).Good());
}

#ifdef TOLVANE_CLI

// The CLI attaches a drive for each drive option, repeated or after the command; the listing's
// columns are CliTest's.
TEST(CliDrives, EveryDriveOptionAttachesItsDrives)
{
    TempDir dir;
    const std::string out = dir.File("out");
    const int raw =
        std::system((std::string(TOLVANE_CLI) + " --empty drives --demo --empty >" + out).c_str());
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    const auto bytes = test::ReadBytes(out);
    const std::string listing(bytes.begin(), bytes.end());
    for (const char* letter : {"D:", "E:", "F:", "G:"})
        EXPECT_NE(listing.find(std::string("\n") + letter + "      VIRTUAL DRIVE"), std::string::npos)
            << letter;
    EXPECT_EQ(listing.find("\nH:"), std::string::npos) << listing;
}

#endif

} // namespace
} // namespace tolvane::emulator
