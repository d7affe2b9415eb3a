// The operating system's side of the pass-through, as the transport sees it.
//
// MMC asks the platform whether a drive string names an optical drive, opens
// it, learns its SCSI address and hands it command blocks. On Linux these are
// SG_IO calls on /dev/srN and the virtual drives; on Windows, GetDriveType,
// CreateFile and DeviceIoControl; in tests, a scripted fake.
#pragma once

#include "device/platform/ScsiResult.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tolvane {

// The Windows SCSI_ADDRESS record's fields (IOCTL_SCSI_GET_ADDRESS).
struct ScsiAddress {
    std::uint8_t PortNumber = 0;
    std::uint8_t PathId = 0;
    std::uint8_t TargetId = 0;
    std::uint8_t Lun = 0;
};

// One open drive handle. Closing happens when the object is destroyed.
class DeviceHandle {
public:
    virtual ~DeviceHandle() = default;

    virtual bool GetScsiAddress(ScsiAddress& address) = 0;

    // Sends one command block with data in (from the drive); dataIn is empty for
    // commands without data. Blocks until the drive has answered.
    virtual ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) = 0;

    // The most data one command may move through this host: 64 KiB, what every adapter takes,
    // unless the system says more.
    static constexpr std::size_t DefaultMaxTransfer = 64 * 1024;
    virtual std::size_t MaxTransferBytes() { return DefaultMaxTransfer; }
};

// The ASPI for Win32 layer (WnAspi32.dll), once its entry points are bound.
class AspiLayer {
public:
    virtual ~AspiLayer() = default;

    // GetASPI32SupportInfo: status in bits 8-15, host adapter count in bits 0-7.
    virtual std::uint32_t GetSupportInfo() = 0;

    // SendASPI32Command with one request record (see RequestRecords.h). For an
    // execute-command record the layer points SRB_BufPointer at data, puts a
    // completion event into SRB_PostProc and waits while SRB_Status is pending.
    // False when the request could not be made (no event could be created);
    // otherwise the record holds the layer's answer.
    virtual bool Send(std::span<std::uint8_t> srb, std::span<std::uint8_t> data) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // GetDriveType(drive) == DRIVE_CDROM.
    virtual bool IsOpticalDrive(std::string_view drive) = 0;

    // Opens the drive's device path for reading and writing; null when it cannot be opened.
    virtual std::unique_ptr<DeviceHandle> Open(std::string_view drive) = 0;

    // Whether the dynamic library loads and exports the routine (the library probe).
    virtual bool IsLibraryAvailable(const std::string& file, const std::string& routine) = 0;

    // The ASPI layer's entry points, bound on first use; null when they cannot be bound.
    virtual AspiLayer* Aspi() = 0;
};

class VirtualDriveRegistry;

// The operating system's own platform, reaching the virtual drives of the registry
// (which may be null) as well as the machine's real drives.
std::unique_ptr<Platform> CreateSystemPlatform(std::shared_ptr<VirtualDriveRegistry> registry);

} // namespace tolvane
