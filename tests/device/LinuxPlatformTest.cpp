#include "device/platform/LinuxPlatform.h"

#include "device/platform/VirtualDrives.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// Answers every command with its own mark in the data and a residual, and
// remembers what it was sent.
class RecordingDrive : public VirtualDrive {
public:
    explicit RecordingDrive(std::uint8_t mark) : mark_(mark) {}

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        commands.emplace_back(cdb.begin(), cdb.end());
        if (!dataIn.empty()) {
            dataIn[0] = mark_;
        }
        ScsiResult result;
        result.transport = TransportOutcome::Delivered;
        result.residual = static_cast<std::int32_t>(dataIn.size()) - 1;
        return result;
    }

    std::vector<std::vector<std::uint8_t>> commands;

private:
    std::uint8_t mark_;
};

// A folder standing in for /dev: regular files named like optical devices,
// among names that are not.
class LinuxPlatformTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tolvane-dev-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        for (const char* name : {"sr1", "sr0", "sr10", "sg0", "sr", "srx", "sr2p", "sda"}) {
            std::ofstream(folder_ / name) << "not a drive";
        }
        // An entry whose file is gone: it takes a letter but cannot be opened.
        fs::create_symlink(folder_ / "gone", folder_ / "sr11");

        registry_ = std::make_shared<VirtualDriveRegistry>();
        ASSERT_EQ(registry_->Attach(first_), "D:");
        ASSERT_EQ(registry_->Attach(second_), "E:");
        platform_ = CreateLinuxPlatform(registry_, folder_.string());
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    fs::path folder_;
    std::shared_ptr<RecordingDrive> first_ = std::make_shared<RecordingDrive>(0xD1);
    std::shared_ptr<RecordingDrive> second_ = std::make_shared<RecordingDrive>(0xE2);
    std::shared_ptr<VirtualDriveRegistry> registry_;
    std::unique_ptr<Platform> platform_;
};

TEST_F(LinuxPlatformTest, LettersRunFromDThroughVirtualThenDevicesByNumber)
{
    struct Row {
        const char* drive;
        bool optical;
    };
    for (const Row& row : {Row{"C:", false}, Row{"D:", true}, Row{"E:", true}, Row{"F:", true},
                           Row{"G:", true}, Row{"H:", true}, Row{"I:", true}, Row{"J:", false},
                           Row{"Z:", false}, Row{"A:", false}, Row{"f:", true}, Row{"F", true},
                           Row{"F:\\", true}, Row{"FF", false}, Row{"", false}, Row{"1:", false}}) {
        EXPECT_EQ(platform_->IsOpticalDrive(row.drive), row.optical) << row.drive;
    }
}

TEST_F(LinuxPlatformTest, DeviceLettersFollowTheDeviceNumbers)
{
    // Each device file gets its own content, so the open handle shows which file it is.
    struct Row {
        const char* drive;
        const char* file;
    };
    for (const Row& row : {Row{"F:", "sr0"}, Row{"G:", "sr1"}, Row{"H:", "sr10"}}) {
        std::ofstream(folder_ / row.file, std::ios::trunc) << row.file;
    }
    for (const Row& row : {Row{"F:", "sr0"}, Row{"G:", "sr1"}, Row{"H:", "sr10"}}) {
        auto handle = platform_->Open(row.drive);
        ASSERT_NE(handle, nullptr) << row.drive;
        // The device's path is not exposed; /proc/self/fd tells which file is open.
        bool found = false;
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (fs::read_symlink(fd.path(), error) == folder_ / row.file) {
                found = true;
            }
        }
        EXPECT_TRUE(found) << row.drive << " should open " << row.file;
    }
}

TEST_F(LinuxPlatformTest, RegularFileOpensButHasNoScsiAddress)
{
    auto handle = platform_->Open("F:");
    ASSERT_NE(handle, nullptr);
    ScsiAddress address;
    errno = 0;
    EXPECT_FALSE(handle->GetScsiAddress(address));
    EXPECT_EQ(errno, ENOTTY);

    std::array<std::uint8_t, 36> data{};
    const std::array<std::uint8_t, 6> inquiry{0x12, 0, 0, 0, 36, 0};
    const ScsiResult result = handle->Execute(inquiry, data);
    EXPECT_EQ(result.transport, TransportOutcome::OsError);
    EXPECT_EQ(result.osError, ENOTTY);
    EXPECT_FALSE(result.Good());
}

TEST_F(LinuxPlatformTest, OversizedCommandBlockIsNotSent)
{
    auto handle = platform_->Open("F:");
    ASSERT_NE(handle, nullptr);
    const std::array<std::uint8_t, 17> tooLong{};
    EXPECT_EQ(handle->Execute(tooLong, {}).transport, TransportOutcome::NotSent);
    EXPECT_EQ(handle->Execute({}, {}).transport, TransportOutcome::NotSent);
}

TEST_F(LinuxPlatformTest, OpenFailsWhereThereIsNoDrive)
{
    for (const char* drive : {"I:", "J:", "C:", "Z:", ""}) {
        EXPECT_EQ(platform_->Open(drive), nullptr) << drive;
    }
}

TEST_F(LinuxPlatformTest, VirtualDriveReceivesTheCommands)
{
    auto handle = platform_->Open("E:");
    ASSERT_NE(handle, nullptr);
    std::array<std::uint8_t, 8> data{};
    const std::array<std::uint8_t, 10> readCapacity{0x25};
    const ScsiResult result = handle->Execute(readCapacity, data);

    EXPECT_TRUE(first_->commands.empty());
    ASSERT_EQ(second_->commands.size(), 1u);
    EXPECT_EQ(second_->commands[0], std::vector<std::uint8_t>(readCapacity.begin(), readCapacity.end()));
    EXPECT_EQ(data[0], 0xE2);
    EXPECT_EQ(result.transport, TransportOutcome::Delivered);
    EXPECT_EQ(result.residual, 7);
}

TEST_F(LinuxPlatformTest, VirtualDrivesHaveSyntheticAddresses)
{
    struct Row {
        const char* drive;
        std::uint8_t port;
    };
    for (const Row& row : {Row{"D:", VirtualPortBase}, Row{"e", VirtualPortBase + 1}}) {
        auto handle = platform_->Open(row.drive);
        ASSERT_NE(handle, nullptr) << row.drive;
        ScsiAddress address{9, 9, 9, 9};
        ASSERT_TRUE(handle->GetScsiAddress(address));
        EXPECT_EQ(address.PortNumber, row.port) << row.drive;
        EXPECT_EQ(address.PathId, 0);
        EXPECT_EQ(address.TargetId, 0);
        EXPECT_EQ(address.Lun, 0);
    }
}

TEST_F(LinuxPlatformTest, DrivesAttachedLaterComeFirst)
{
    ASSERT_EQ(registry_->Attach(std::make_shared<RecordingDrive>(0)), "F:");
    EXPECT_TRUE(platform_->IsOpticalDrive("J:")); // sr11 moved from I: to J:
    EXPECT_FALSE(platform_->IsOpticalDrive("K:"));
}

TEST_F(LinuxPlatformTest, WithoutRegistryDevicesStartAtD)
{
    auto platform = CreateLinuxPlatform(nullptr, folder_.string());
    EXPECT_TRUE(platform->IsOpticalDrive("D:"));
    EXPECT_TRUE(platform->IsOpticalDrive("G:"));
    EXPECT_FALSE(platform->IsOpticalDrive("H:"));
    EXPECT_NE(platform->Open("D:"), nullptr);
}

TEST_F(LinuxPlatformTest, MissingFolderGivesNoDevices)
{
    auto platform = CreateLinuxPlatform(registry_, (folder_ / "absent").string());
    EXPECT_TRUE(platform->IsOpticalDrive("E:"));
    EXPECT_FALSE(platform->IsOpticalDrive("F:"));
}

TEST_F(LinuxPlatformTest, AspiIsNeverThere)
{
    EXPECT_FALSE(platform_->IsLibraryAvailable("WnAspi32.dll", "GetASPI32SupportInfo"));
    EXPECT_EQ(platform_->Aspi(), nullptr);
    EXPECT_TRUE(platform_->IsLibraryAvailable("libc.so.6", "printf"));
}

TEST(DecodeIdLun, SplitsTheFourBytes)
{
    struct Row {
        std::uint32_t devId;
        ScsiAddress expected;
    };
    for (const Row& row : {Row{0x00000000, {0, 0, 0, 0}}, Row{0x03020100 | 0x05, {3, 2, 5, 1}},
                           Row{0x01000200, {1, 0, 0, 2}}, Row{0xFF7F0A01, {0xFF, 0x7F, 1, 0x0A}}}) {
        const ScsiAddress a = DecodeIdLun(row.devId);
        EXPECT_EQ(a.PortNumber, row.expected.PortNumber) << std::hex << row.devId;
        EXPECT_EQ(a.PathId, row.expected.PathId) << std::hex << row.devId;
        EXPECT_EQ(a.TargetId, row.expected.TargetId) << std::hex << row.devId;
        EXPECT_EQ(a.Lun, row.expected.Lun) << std::hex << row.devId;
    }
}

} // namespace
} // namespace tolvane
