// The pass-through on Linux: SG_IO on the optical devices /dev/srN, and the
// virtual drives of the registry, reached through the same entry points.
#include "device/platform/LinuxPlatform.h"

#include "device/DLL.h"
#include "device/platform/SgIoOutcome.h"
#include "device/platform/VirtualDrives.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr std::size_t MaxCdbLength = 16;
constexpr std::size_t SenseBufferLength = 32; // room for descriptor sense; the result keeps 18
constexpr unsigned int TimeoutMs = 10000u * 1000u;

// An open /dev/srN (or whatever file stands in its place).
class SgDeviceHandle final : public DeviceHandle {
public:
    explicit SgDeviceHandle(int fd) : fd_(fd) {}
    ~SgDeviceHandle() override { close(fd_); }
    SgDeviceHandle(const SgDeviceHandle&) = delete;
    SgDeviceHandle& operator=(const SgDeviceHandle&) = delete;

    bool GetScsiAddress(ScsiAddress& address) override
    {
        // struct scsi_idlun, which the kernel fills.
        struct {
            int devId;
            int hostUniqueId;
        } idlun{};
        if (ioctl(fd_, SCSI_IOCTL_GET_IDLUN, &idlun) != 0) {
            return false;
        }
        address = DecodeIdLun(static_cast<std::uint32_t>(idlun.devId));
        return true;
    }

    // The block layer's limit for one request of the device, in 512-byte units; a file standing
    // in for a device has none.
    std::size_t MaxTransferBytes() override
    {
        unsigned short sectors = 0;
        if (ioctl(fd_, BLKSECTGET, &sectors) != 0 || sectors == 0) {
            return DefaultMaxTransfer;
        }
        return std::size_t{sectors} * 512;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        if (cdb.empty() || cdb.size() > MaxCdbLength || dataIn.size() > INT_MAX) {
            return ScsiResult{};
        }
        // sg_io_hdr wants a writable command block; the caller's stays untouched.
        std::array<unsigned char, MaxCdbLength> command{};
        std::ranges::copy(cdb, command.begin());
        std::array<unsigned char, SenseBufferLength> sense{};

        sg_io_hdr_t io{};
        io.interface_id = 'S';
        io.dxfer_direction = dataIn.empty() ? SG_DXFER_NONE : SG_DXFER_FROM_DEV;
        io.cmd_len = static_cast<unsigned char>(cdb.size());
        io.cmdp = command.data();
        io.mx_sb_len = static_cast<unsigned char>(sense.size());
        io.sbp = sense.data();
        // An odd allocation length goes out one byte longer (see OddAllocationLengthAt);
        // the caller's buffer receives only its own bytes.
        std::vector<std::uint8_t> evened;
        std::span<std::uint8_t> transfer = dataIn;
        if (const auto at = OddAllocationLengthAt(cdb, dataIn.size())) {
            evened.assign(dataIn.size() + 1, 0);
            transfer = evened;
            command[*at] = static_cast<unsigned char>(evened.size() >> 8);
            command[*at + 1] = static_cast<unsigned char>(evened.size());
        }
        io.dxfer_len = static_cast<unsigned int>(transfer.size());
        io.dxferp = transfer.empty() ? nullptr : transfer.data();
        io.timeout = TimeoutMs;

        SgIoReturn answer;
        answer.ioctlResult = ioctl(fd_, SG_IO, &io);
        answer.osError = answer.ioctlResult < 0 ? errno : 0;
        if (!evened.empty()) {
            std::copy_n(evened.begin(), dataIn.size(), dataIn.begin());
            io.resid = std::max(io.resid - 1, 0); // the extra byte was never asked for
            io.dxfer_len -= 1;
        }
        answer.status = io.status;
        answer.hostStatus = io.host_status;
        answer.driverStatus = io.driver_status;
        answer.sense = sense;
        answer.senseWritten = io.sb_len_wr;
        answer.resid = io.resid;
        answer.opcode = cdb[0];
        answer.dataLength = io.dxfer_len;
        return ClassifySgIo(answer);
    }

private:
    int fd_;
};

class VirtualDeviceHandle final : public DeviceHandle {
public:
    VirtualDeviceHandle(std::shared_ptr<VirtualDrive> drive, std::size_t position)
        : drive_(std::move(drive)), position_(position)
    {
    }

    bool GetScsiAddress(ScsiAddress& address) override
    {
        address = ScsiAddress{};
        address.PortNumber = static_cast<std::uint8_t>(VirtualPortBase + position_);
        return true;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        return drive_->Execute(cdb, dataIn);
    }

    std::size_t MaxTransferBytes() override { return VirtualDriveRegistry::MaxTransfer; }

private:
    std::shared_ptr<VirtualDrive> drive_;
    std::size_t position_;
};

// The entries named sr<digits> of the folder, by number. The kernel names CD
// and DVD drives so; sg, sd and the like are other kinds of device.
std::vector<std::string> ScanOpticalDevices(const std::string& folder)
{
    std::vector<std::pair<unsigned long, std::string>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 3 || name.compare(0, 2, "sr") != 0) {
            continue;
        }
        const char* first = name.data() + 2;
        const char* last = name.data() + name.size();
        unsigned long number = 0;
        const auto [stop, ec] = std::from_chars(first, last, number);
        // from_chars takes digits only (no sign, no blanks), so "sr0p" or "sr-1" stop early.
        if (ec != std::errc{} || stop != last) {
            continue;
        }
        found.emplace_back(number, it->path().string());
    }
    std::ranges::sort(found);
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& entry : found) {
        paths.push_back(std::move(entry.second));
    }
    return paths;
}

// The upper-case letter of a drive string ("d", "D:", "D:\"), or 0.
char LetterOf(std::string_view drive)
{
    if (drive.empty() || (drive.size() > 1 && drive[1] != ':')) {
        return 0;
    }
    const char c = drive[0];
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c >= 'A' && c <= 'Z' ? c : 0;
}

class LinuxPlatform final : public Platform {
public:
    LinuxPlatform(std::shared_ptr<VirtualDriveRegistry> registry, const std::string& deviceFolder)
        : registry_(std::move(registry)), devices_(ScanOpticalDevices(deviceFolder))
    {
    }

    bool IsOpticalDrive(std::string_view drive) override
    {
        const Target target = Resolve(drive);
        return target.drive != nullptr || target.device != nullptr;
    }

    std::unique_ptr<DeviceHandle> Open(std::string_view drive) override
    {
        const Target target = Resolve(drive);
        if (target.drive != nullptr) {
            return std::make_unique<VirtualDeviceHandle>(target.drive, target.position);
        }
        if (target.device == nullptr) {
            return nullptr;
        }
        // O_NONBLOCK lets a drive without a disc (or with its tray open) open at all.
        int fd = open(target.device->c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            fd = open(target.device->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) {
            return nullptr;
        }
        return std::make_unique<SgDeviceHandle>(fd);
    }

    bool IsLibraryAvailable(const std::string& file, const std::string& routine) override
    {
        return DLL().IsAvailable(file, routine);
    }

    // WnAspi32.dll never loads here, so the transport never asks.
    AspiLayer* Aspi() override { return nullptr; }

private:
    struct Target {
        std::shared_ptr<VirtualDrive> drive; // a virtual drive, or
        std::size_t position = 0;            // (its place in the registry)
        const std::string* device = nullptr; // the path of a real one
    };

    // Letters run from D: through the virtual drives, then the devices. The
    // registry is asked every time, so drives attached after this platform was
    // made still come first.
    Target Resolve(std::string_view drive) const
    {
        Target target;
        const char letter = LetterOf(drive);
        if (letter < VirtualDriveRegistry::FirstLetter) {
            return target;
        }
        const std::size_t index = static_cast<std::size_t>(letter - VirtualDriveRegistry::FirstLetter);
        const std::size_t virtualCount = registry_ ? registry_->Count() : 0;
        if (index < virtualCount) {
            target.drive = registry_->Find(std::string{letter, ':'});
            target.position = index;
        } else if (index - virtualCount < devices_.size()) {
            target.device = &devices_[index - virtualCount];
        }
        return target;
    }

    std::shared_ptr<VirtualDriveRegistry> registry_;
    std::vector<std::string> devices_;
};

} // namespace

ScsiAddress DecodeIdLun(std::uint32_t devId)
{
    ScsiAddress address;
    address.TargetId = static_cast<std::uint8_t>(devId);
    address.Lun = static_cast<std::uint8_t>(devId >> 8);
    address.PathId = static_cast<std::uint8_t>(devId >> 16);
    address.PortNumber = static_cast<std::uint8_t>(devId >> 24);
    return address;
}

std::unique_ptr<Platform> CreateLinuxPlatform(std::shared_ptr<VirtualDriveRegistry> registry,
                                              std::string deviceFolder)
{
    return std::make_unique<LinuxPlatform>(std::move(registry), deviceFolder);
}

std::unique_ptr<Platform> CreateSystemPlatform(std::shared_ptr<VirtualDriveRegistry> registry)
{
    return CreateLinuxPlatform(std::move(registry), "/dev");
}

} // namespace tolvane
