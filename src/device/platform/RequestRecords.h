// Byte images of the Windows request records: the SPTI pass-through record and
// the ASPI for Win32 request blocks, as 32-bit Windows lays them out.
//
// They are built here, in platform-neutral code, so every offset and value is
// tested on any machine; the Windows backend only hands them to the system and
// fills in the pointer fields.
#pragma once

#include "device/platform/ScsiResult.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvane::records {

// --- SCSI_PASS_THROUGH_DIRECT followed by a 32-byte sense buffer ---------------
namespace spti {
constexpr std::size_t RecordSize = 44;  // SCSI_PASS_THROUGH_DIRECT on 32-bit Windows
constexpr std::size_t SenseOffset = 48; // 44 + 4 filler bytes
constexpr std::size_t SenseLength = 32;
constexpr std::size_t TotalSize = SenseOffset + SenseLength; // 80 bytes in and out
constexpr std::uint32_t TimeoutSeconds = 10000;
constexpr std::uint8_t DataIn = 1; // SCSI_IOCTL_DATA_IN

constexpr std::size_t OffLength = 0; // USHORT
constexpr std::size_t OffScsiStatus = 2;
constexpr std::size_t OffPathId = 3;
constexpr std::size_t OffTargetId = 4;
constexpr std::size_t OffLun = 5;
constexpr std::size_t OffCdbLength = 6;
constexpr std::size_t OffSenseInfoLength = 7;
constexpr std::size_t OffDataIn = 8;
constexpr std::size_t OffDataTransferLength = 12; // ULONG
constexpr std::size_t OffTimeOutValue = 16;       // ULONG
constexpr std::size_t OffDataBuffer = 20;         // PVOID (32-bit)
constexpr std::size_t OffSenseInfoOffset = 24;    // ULONG
constexpr std::size_t OffCdb = 28;                // UCHAR[16]

using Record = std::array<std::uint8_t, TotalSize>;

Record Build(std::uint8_t pathId, std::uint8_t targetId, std::uint8_t lun, std::span<const std::uint8_t> cdb,
             std::int32_t bufferSize, std::uint32_t bufferAddress);

// What a record that came back from a successful DeviceIoControl says of the command
// whose first byte is `opcode`: the drive's status and sense, the bytes not transferred,
// and, as on every platform, a short transfer of a sector read as ShortRead.
ScsiResult Outcome(const Record& record, std::uint8_t opcode, std::int32_t requested);
} // namespace spti

// --- ASPI for Win32 request blocks (wnaspi32.h, packed) --------------------------
namespace aspi {
constexpr std::uint8_t SC_HA_INQUIRY = 0;
constexpr std::uint8_t SC_GET_DEV_TYPE = 1;
constexpr std::uint8_t SC_EXEC_SCSI_CMD = 2;

constexpr std::uint8_t SS_PENDING = 0;
constexpr std::uint8_t SS_COMP = 1;
constexpr std::uint8_t SS_ERR = 4;

constexpr std::uint8_t SRB_DIR_IN = 0x08;
constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;

constexpr std::uint8_t DTYPE_CDROM = 5;

// Common header.
constexpr std::size_t OffCmd = 0;
constexpr std::size_t OffStatus = 1;
constexpr std::size_t OffHaId = 2;
constexpr std::size_t OffFlags = 3;

// SRB_HAInquiry: 60 bytes.
constexpr std::size_t HaInquirySize = 60;
constexpr std::size_t OffHaCount = 8;

// SRB_GDEVBlock: 12 bytes.
constexpr std::size_t DevTypeSize = 12;
constexpr std::size_t OffDevTarget = 8;
constexpr std::size_t OffDevLun = 9;
constexpr std::size_t OffDeviceType = 10;

// SRB_ExecSCSICmd: 80 bytes.
constexpr std::size_t ExecSize = 80;
constexpr std::size_t OffTarget = 8;
constexpr std::size_t OffLun = 9;
constexpr std::size_t OffBufLen = 12;     // DWORD
constexpr std::size_t OffBufPointer = 16; // BYTE* (32-bit)
constexpr std::size_t OffSenseLen = 20;
constexpr std::size_t OffCdbLen = 21;
constexpr std::size_t OffHaStat = 22;
constexpr std::size_t OffTargStat = 23;
constexpr std::size_t OffPostProc = 24;  // event handle (32-bit)
constexpr std::size_t OffCdbByte = 48;   // BYTE[16]
constexpr std::size_t OffSenseArea = 64; // BYTE[SENSE_LEN + 2]
constexpr std::uint8_t SenseLen = 14;

using HaInquiry = std::array<std::uint8_t, HaInquirySize>;
using DevType = std::array<std::uint8_t, DevTypeSize>;
using Exec = std::array<std::uint8_t, ExecSize>;

HaInquiry BuildHaInquiry(std::uint8_t adapter);
DevType BuildDevType(std::uint8_t adapter, std::uint8_t target);
Exec BuildExec(std::uint8_t adapter, std::uint8_t target, std::span<const std::uint8_t> cdb,
               std::int32_t bufferSize, std::uint32_t bufferAddress, std::uint32_t postProc);
} // namespace aspi

// --- SCSI_ADDRESS (IOCTL_SCSI_GET_ADDRESS output) --------------------------------
namespace address {
constexpr std::size_t Size = 8;
constexpr std::size_t OffLength = 0; // ULONG
constexpr std::size_t OffPortNumber = 4;
constexpr std::size_t OffPathId = 5;
constexpr std::size_t OffTargetId = 6;
constexpr std::size_t OffLun = 7;
} // namespace address

} // namespace tolvane::records
