// What one command block came back with: the transport's verdict, the SCSI
// status, the sense bytes and the residual count.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tolvane {

enum class TransportOutcome : std::uint8_t {
    NotSent,     // nothing reached the drive (no interface, closed handle, bad size)
    Delivered,   // the command reached the drive and the drive answered
    OsError,     // the operating system refused the request (ioctl failed)
    HostError,   // the host adapter reported an error (host_status)
    DriverError, // the low-level driver reported an error (driver_status)
    ShortRead,   // READ(10) / READ CD delivered fewer bytes than asked for
};

std::string ToString(TransportOutcome outcome);

// A command block as hexadecimal bytes, each after a space (" 12 00 00 00 24 00"): for diagnostics.
std::string FormatCdb(std::span<const std::uint8_t> cdb);

// The outcome of a command the drive answered with GOOD but `residual` bytes short:
// drives answer fewer bytes than the allocation length all the time (INQUIRY, MODE
// SENSE, READ TOC); only for sector reads (READ(10), READ CD) does it mean data was
// lost. Every pass-through backend judges a short transfer by this.
TransportOutcome ShortTransferOutcome(std::uint8_t opcode, std::int32_t residual);

namespace scsi {
constexpr std::uint8_t StatusGood = 0x00;
constexpr std::uint8_t StatusCheckCondition = 0x02;
constexpr std::uint8_t StatusBusy = 0x08;

constexpr std::uint8_t SenseNoSense = 0x0;
constexpr std::uint8_t SenseNotReady = 0x2;
constexpr std::uint8_t SenseMediumError = 0x3;
constexpr std::uint8_t SenseIllegalRequest = 0x5;
constexpr std::uint8_t SenseUnitAttention = 0x6;
} // namespace scsi

struct ScsiResult {
    static constexpr std::size_t MaxSense = 18;

    TransportOutcome transport = TransportOutcome::NotSent;
    std::uint8_t status = scsi::StatusGood;
    std::array<std::uint8_t, MaxSense> sense{};
    std::uint8_t senseLength = 0;
    // Bytes asked for but not transferred.
    std::int32_t residual = 0;
    // The OS error number (errno or GetLastError) when transport is OsError.
    int osError = 0;

    // A command succeeds only when it was delivered and the drive said GOOD.
    bool Good() const { return transport == TransportOutcome::Delivered && status == scsi::StatusGood; }

    // Fixed-format sense (response code 0x70/0x71); 0 when there is none.
    std::uint8_t SenseKey() const { return senseLength > 2 ? sense[2] & 0x0F : 0; }
    std::uint8_t Asc() const { return senseLength > 12 ? sense[12] : 0; }
    std::uint8_t Ascq() const { return senseLength > 13 ? sense[13] : 0; }
    bool IsUnitAttention() const
    {
        return transport == TransportOutcome::Delivered && status == scsi::StatusCheckCondition &&
               SenseKey() == scsi::SenseUnitAttention;
    }

    // A CHECK CONDITION answer with fixed-format sense key/ASC/ASCQ.
    static ScsiResult CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
    static ScsiResult Success(std::int32_t residual = 0);

    // "GOOD", or "CHECK CONDITION 05/24/00", or "OsError (error 5)": for diagnostics.
    std::string Describe() const;
};

} // namespace tolvane
