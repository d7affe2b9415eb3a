#include "device/platform/LinuxPlatform.h"

#include "device/platform/VirtualDrives.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// The commands a virtual drive is sent reach it through the whole stack in the disc tests.
class SilentDrive : public VirtualDrive {
public:
    ScsiResult Execute(std::span<const std::uint8_t>, std::span<std::uint8_t>) override
    {
        return ScsiResult::Success();
    }
};

// A folder standing in for /dev: regular files named like optical devices, among names that are not.
class LinuxPlatformTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Each device file holds its own name, so an open handle shows which file it is.
        for (const char* name : {"sr1", "sr0", "sr10", "sg0", "sr", "srx", "sr2p", "sda"})
            dir_.Write(name, name);
        // An entry whose file is gone: it takes a letter but cannot be opened.
        fs::create_symlink(folder_ / "gone", folder_ / "sr11");
        ASSERT_EQ(registry_->Attach(std::make_shared<SilentDrive>()), "D:");
        ASSERT_EQ(registry_->Attach(std::make_shared<SilentDrive>()), "E:");
        platform_ = CreateLinuxPlatform(registry_, folder_.string());
    }

    test::TempDir dir_;
    fs::path folder_ = dir_.Path();
    std::shared_ptr<VirtualDriveRegistry> registry_ = std::make_shared<VirtualDriveRegistry>();
    std::unique_ptr<Platform> platform_;
};

TEST_F(LinuxPlatformTest, LettersRunFromDThroughVirtualThenDevicesByNumber)
{
    const std::pair<const char*, bool> rows[] = {{"C:", false}, {"D:", true}, {"E:", true},  {"I:", true},
                                                 {"J:", false}, {"f:", true}, {"FF", false}, {"", false}};
    for (const auto& [drive, optical] : rows)
        EXPECT_EQ(platform_->IsOpticalDrive(drive), optical) << drive;
    for (const char* drive : {"I:", "J:", "C:", ""})
        EXPECT_EQ(platform_->Open(drive), nullptr) << drive;
    // No ASPI layer on Linux, whatever the libraries.
    EXPECT_FALSE(platform_->IsLibraryAvailable("WnAspi32.dll", "GetASPI32SupportInfo"));
    EXPECT_EQ(platform_->Aspi(), nullptr);

    auto withoutRegistry = CreateLinuxPlatform(nullptr, folder_.string()); // devices start at D:
    EXPECT_TRUE(withoutRegistry->IsOpticalDrive("G:"));
    EXPECT_FALSE(withoutRegistry->IsOpticalDrive("H:"));
    auto missingFolder = CreateLinuxPlatform(registry_, (folder_ / "absent").string());
    EXPECT_TRUE(missingFolder->IsOpticalDrive("E:"));
    EXPECT_FALSE(missingFolder->IsOpticalDrive("F:"));
}

TEST_F(LinuxPlatformTest, DeviceLettersFollowTheDeviceNumbers)
{
    for (const auto& [drive, file] :
         {std::pair{"F:", "sr0"}, std::pair{"G:", "sr1"}, std::pair{"H:", "sr10"}}) {
        auto handle = platform_->Open(drive);
        ASSERT_NE(handle, nullptr) << drive;
        // The device's path is not exposed; /proc/self/fd tells which file is open.
        bool found = false;
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            found = found || fs::read_symlink(fd.path(), error) == folder_ / file;
        }
        EXPECT_TRUE(found) << drive << " should open " << file;
    }
}

TEST_F(LinuxPlatformTest, RegularFileOpensButHasNoScsiAddressAndTakesNoOversizedBlock)
{
    auto handle = platform_->Open("F:");
    ASSERT_NE(handle, nullptr);
    ScsiAddress address;
    errno = 0;
    EXPECT_FALSE(handle->GetScsiAddress(address));
    EXPECT_EQ(errno, ENOTTY);
    std::array<std::uint8_t, 36> data{};
    const ScsiResult result = handle->Execute(std::array<std::uint8_t, 6>{0x12, 0, 0, 0, 36, 0}, data);
    EXPECT_EQ(std::tuple(result.transport, result.osError), std::tuple(TransportOutcome::OsError, ENOTTY));
    EXPECT_EQ(handle->Execute(std::array<std::uint8_t, 17>{}, {}).transport, TransportOutcome::NotSent);
    EXPECT_EQ(handle->Execute({}, {}).transport, TransportOutcome::NotSent);
}

// Each virtual drive's address tells it apart by its place in the registry.
TEST_F(LinuxPlatformTest, VirtualDrivesHaveSyntheticAddresses)
{
    for (const auto& [drive, port] :
         {std::pair<const char*, int>{"D:", VirtualPortBase}, {"e", VirtualPortBase + 1}}) {
        auto virtualHandle = platform_->Open(drive);
        ASSERT_NE(virtualHandle, nullptr) << drive;
        ScsiAddress address{9, 9, 9, 9};
        ASSERT_TRUE(virtualHandle->GetScsiAddress(address));
        EXPECT_EQ(std::tuple(address.PortNumber, address.PathId, address.TargetId, address.Lun),
                  std::tuple(port, 0, 0, 0))
            << drive;
    }
}

TEST(DecodeIdLun, SplitsTheFourBytes)
{
    const std::pair<std::uint32_t, std::array<int, 4>> rows[] = {{0x03020100 | 0x05, {3, 2, 5, 1}},
                                                                 {0xFF7F0A01, {0xFF, 0x7F, 1, 0x0A}}};
    for (const auto& [devId, expected] : rows) {
        const ScsiAddress a = DecodeIdLun(devId);
        EXPECT_EQ((std::array<int, 4>{a.PortNumber, a.PathId, a.TargetId, a.Lun}), expected)
            << std::hex << devId;
    }
}

} // namespace
} // namespace tolvane
