// Classification of what one SG_IO call returned.
//
// SG_IO reports five things at once: whether the ioctl itself worked, the
// host adapter's verdict (host_status), the low-level driver's (driver_status),
// the SCSI status the drive sent with its sense bytes, and the residual count.
// Only some combinations are failures of the transport: the kernel sets
// DRIVER_SENSE on every CHECK CONDITION, and a drive may answer fewer bytes
// than the allocation length allows. This function sorts that out without any
// Linux header, so it is tested on every platform.
#pragma once

#include "device/platform/ScsiResult.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tolvane {

namespace sgio {
// host_status values (the kernel's DID_* codes).
constexpr std::uint16_t DidOk = 0x00;
constexpr std::uint16_t DidNoConnect = 0x01;
constexpr std::uint16_t DidBusBusy = 0x02;
constexpr std::uint16_t DidTimeOut = 0x03;
constexpr std::uint16_t DidBadTarget = 0x04;
constexpr std::uint16_t DidAbort = 0x05;
constexpr std::uint16_t DidError = 0x07;

// driver_status: an error code in the low three bits, DRIVER_SENSE as a flag.
constexpr std::uint16_t DriverOk = 0x00;
constexpr std::uint16_t DriverBusy = 0x01;
constexpr std::uint16_t DriverSoft = 0x02;
constexpr std::uint16_t DriverMedia = 0x03;
constexpr std::uint16_t DriverError = 0x04;
constexpr std::uint16_t DriverInvalid = 0x05;
constexpr std::uint16_t DriverTimeout = 0x06;
constexpr std::uint16_t DriverHard = 0x07;
constexpr std::uint16_t DriverSense = 0x08;
constexpr std::uint16_t DriverErrorMask = 0x07;
} // namespace sgio

// The fields of sg_io_hdr that matter after the call, plus what the caller asked for.
struct SgIoReturn {
    int ioctlResult = 0; // what ioctl(fd, SG_IO, ...) returned
    int osError = 0;     // errno, when ioctlResult < 0
    // sg_io_hdr.status: the full SCSI status byte as the drive sent it (CHECK
    // CONDITION is 0x02), not sg's masked_status (the same shifted right by one).
    // Bits 0 and 7, vendor-specific in SCSI-2, are cleared before it is used.
    std::uint8_t status = 0;
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    std::span<const std::uint8_t> sense; // the sense buffer given to the kernel
    std::uint8_t senseWritten = 0;       // sb_len_wr
    std::int32_t resid = 0;
    std::uint8_t opcode = 0;      // the command block's first byte
    std::uint32_t dataLength = 0; // dxfer_len
};

// In this order: a failed ioctl is an OsError; a status other than GOOD is
// Delivered with that status and its sense; then a nonzero host_status is a
// HostError; driver error bits (DRIVER_SENSE alone is none) are a DriverError;
// a positive resid is a ShortRead for READ(10) and READ CD and normal for
// everything else.
ScsiResult ClassifySgIo(const SgIoReturn& io);

// ATAPI drives move odd transfers in words: libata's SFF controllers (PIIX) stall on the
// last byte, and AHCI controllers that do PIO through DMA count it wrongly (the kernel's
// own comment in atapi_xlat). A command whose allocation length is odd and equals the
// buffer is therefore sent with one byte more: the position of the 16-bit allocation length
// in the command block, when the command has one there and it holds `length`; nothing
// otherwise. The caller gives the kernel a buffer one byte longer and keeps its own length.
std::optional<std::size_t> OddAllocationLengthAt(std::span<const std::uint8_t> cdb, std::size_t length);

} // namespace tolvane
