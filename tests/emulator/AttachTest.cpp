#include "emulator/Attach.h"

#include "device/OpticalDrives.h"
#include "device/platform/LinuxPlatform.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane::emulator {
namespace {

using Kind = DriveRequest::Kind;

using test::TempDir;
constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

constexpr std::int32_t IsoBlocks = 200;

// What a drive is expected to hold after attaching.
enum class Holds { Nothing, DemoCd, DemoDvd, Iso };

struct OrderCase {
    const char* name;
    std::vector<Kind> requests; // Image stands for the small iso file
    std::vector<Holds> drives;
};

class AttachOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(AttachOrder, DrivesGetLettersInRequestOrder)
{
    TempDir dir;
    const std::string iso = dir.Write("small.iso", std::string(IsoBlocks * 2048, '\0'));
    std::vector<DriveRequest> requests;
    for (Kind kind : GetParam().requests) {
        requests.push_back({kind, kind == Kind::Image ? iso : std::string()});
    }

    VirtualDriveRegistry registry;
    const AttachResult result = AttachDrives(registry, requests, std::make_shared<VirtualClock>());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty());

    const std::vector<Holds>& expected = GetParam().drives;
    ASSERT_EQ(result.letters.size(), expected.size());
    ASSERT_EQ(result.drives.size(), expected.size());
    EXPECT_EQ(registry.Count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("drive " + std::to_string(i));
        EXPECT_EQ(result.letters[i], std::string(1, static_cast<char>('D' + i)) + ":");
        EXPECT_EQ(registry.Find(result.letters[i]), result.drives[i]);
        const std::shared_ptr<const Disc> disc = result.drives[i]->CurrentDisc();
        switch (expected[i]) {
        case Holds::Nothing:
            EXPECT_EQ(disc, nullptr);
            break;
        case Holds::DemoCd:
            ASSERT_NE(disc, nullptr);
            EXPECT_EQ(disc->media, MediaKind::PressedCd);
            EXPECT_EQ(disc->tracks.size(), 6u);
            break;
        case Holds::DemoDvd:
            ASSERT_NE(disc, nullptr);
            EXPECT_EQ(disc->media, MediaKind::DvdRom);
            EXPECT_EQ(disc->layers, 2);
            break;
        case Holds::Iso:
            ASSERT_NE(disc, nullptr);
            EXPECT_EQ(disc->capacity, IsoBlocks);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AttachOrder,
    ::testing::Values(
        OrderCase{"Nothing", {}, {}}, OrderCase{"Demo", {Kind::Demo}, {Holds::DemoCd, Holds::DemoDvd}},
        OrderCase{"Empty", {Kind::Empty}, {Holds::Nothing}},
        OrderCase{"ImageThenDemo", {Kind::Image, Kind::Demo}, {Holds::Iso, Holds::DemoCd, Holds::DemoDvd}},
        OrderCase{"EmptyDemoImageEmpty",
                  {Kind::Empty, Kind::Demo, Kind::Image, Kind::Empty},
                  {Holds::Nothing, Holds::DemoCd, Holds::DemoDvd, Holds::Iso, Holds::Nothing}},
        OrderCase{"TwoImages", {Kind::Image, Kind::Image}, {Holds::Iso, Holds::Iso}}),
    ByName);

struct BadImage {
    const char* name;
    const char* file;     // written into the temporary folder, unless contents is null
    const char* contents; // null: the file does not exist
};

class AttachBadImage : public ::testing::TestWithParam<BadImage> {};

TEST_P(AttachBadImage, AttachesNothingAndReportsTheLoadersMessage)
{
    TempDir dir;
    const BadImage& bad = GetParam();
    const std::string path = bad.contents != nullptr ? dir.Write(bad.file, bad.contents) : dir.File(bad.file);
    const std::string expected = LoadImage(path).error;
    ASSERT_FALSE(expected.empty());

    VirtualDriveRegistry registry;
    const auto earlier = std::make_shared<EmulatedDrive>();
    ASSERT_EQ(registry.Attach(earlier), "D:");

    // The good requests before and after the bad image are not attached either.
    const AttachResult result =
        AttachDrives(registry, {{Kind::Demo, {}}, {Kind::Image, path}, {Kind::Empty, {}}},
                     std::make_shared<VirtualClock>());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, expected);
    EXPECT_NE(result.error.find(bad.file), std::string::npos)
        << "the message names the file: " << result.error;
    EXPECT_TRUE(result.letters.empty());
    EXPECT_TRUE(result.drives.empty());
    EXPECT_EQ(registry.Count(), 1u);
    EXPECT_EQ(registry.Find("D:"), earlier);
    EXPECT_EQ(registry.Find("E:"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Images, AttachBadImage,
                         ::testing::Values(BadImage{"MissingFile", "absent.cue", nullptr},
                                           BadImage{"MissingIso", "absent.iso", nullptr},
                                           BadImage{"CueWithoutTracks", "empty.cue", "REM nothing here\n"},
                                           BadImage{"CueNamingAMissingFile", "lost.cue",
                                                    "FILE \"lost.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                                    "    INDEX 01 00:00:00\n"}),
                         ByName);

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
    const std::uint8_t testUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
    EXPECT_TRUE(drive.Execute(testUnitReady, {}).IsUnitAttention());
    EXPECT_EQ(drive.Execute(testUnitReady, {}).SenseKey(), scsi::SenseNotReady);
    clock->Advance(std::chrono::seconds(6));
    EXPECT_TRUE(drive.Execute(testUnitReady, {}).Good());
}

// The drive list shows virtual drives as the transport sees them: SPTI, their identity, 40x.
TEST(AttachDrives, DrivesAppearInTheDriveList)
{
    TempDir devices; // no srN entries: only the virtual drives
    auto registry = std::make_shared<VirtualDriveRegistry>();
    const AttachResult result =
        AttachDrives(*registry, {{Kind::Empty, {}}, {Kind::Demo, {}}}, std::make_shared<VirtualClock>());
    ASSERT_TRUE(result.ok) << result.error;

    const std::unique_ptr<Platform> platform = CreateLinuxPlatform(registry, devices.Path());
    const OpticalDrives drives(*platform);
    ASSERT_EQ(drives.Count(), 3);
    for (std::int16_t i = 0; i < drives.Count(); ++i) {
        const OpticalDriveItem* item = drives.Item(i);
        SCOPED_TRACE(item->Letter());
        EXPECT_EQ(item->Letter(), result.letters[static_cast<std::size_t>(i)]);
        EXPECT_EQ(item->Interface(), "SPTI");
        EXPECT_EQ(item->Manufacturer(), "TOLVANE ");
        EXPECT_EQ(item->Name(), "VIRTUAL DRIVE   ");
        EXPECT_EQ(item->ReadMaximumSpeed(), 40);
        EXPECT_EQ(item->WriteMaximumSpeed(), 0);
    }
}

#ifdef TOLVANE_CLI

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::string& arguments)
{
    TempDir dir;
    const std::string out = dir.File("out");
    const std::string err = dir.File("err");
    const std::string command = std::string(TOLVANE_CLI) + " " + arguments + " >" + out + " 2>" + err;
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto bytes = test::ReadBytes(out), errors = test::ReadBytes(err);
    run.out.assign(bytes.begin(), bytes.end());
    run.err.assign(errors.begin(), errors.end());
    return run;
}

std::vector<std::string> VirtualDriveLines(const std::string& listing)
{
    std::vector<std::string> lines;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);)
        if (line.find("TOLVANE ") != std::string::npos)
            lines.push_back(line);
    return lines;
}

struct CliCase {
    const char* name;
    const char* arguments;
    std::vector<std::string> letters;
};

class CliDrives : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliDrives, ListsTheVirtualDrives)
{
    const CliRun run = RunCli(GetParam().arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = VirtualDriveLines(run.out);
    ASSERT_EQ(lines.size(), GetParam().letters.size()) << run.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(GetParam().letters[i], 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find("SPTI"), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find("VIRTUAL DRIVE     1.0       TOLVANE "), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find("40x"), std::string::npos) << lines[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Options, CliDrives,
                         ::testing::Values(CliCase{"Demo", "--demo drives", {"D:", "E:"}},
                                           CliCase{"EmptyTwiceAroundDemo",
                                                   "--empty --demo --empty drives",
                                                   {"D:", "E:", "F:", "G:"}},
                                           CliCase{"AfterTheCommand", "drives --demo", {"D:", "E:"}}),
                         ByName);

#endif

} // namespace
} // namespace tolvane::emulator
