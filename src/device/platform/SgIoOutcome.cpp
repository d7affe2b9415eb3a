#include "device/platform/SgIoOutcome.h"

#include "device/platform/ScsiOpcodes.h"

#include <algorithm>

namespace tolvane {

namespace {

// Bits 0 and 7 of the status byte were vendor-specific in SCSI-2; old bridges
// still set them, and no SAM status code uses them.
constexpr std::uint8_t StatusMask = 0x7E;

void KeepSense(ScsiResult& result, const SgIoReturn& io)
{
    const std::size_t n =
        std::min({static_cast<std::size_t>(io.senseWritten), io.sense.size(), ScsiResult::MaxSense});
    std::copy_n(io.sense.begin(), n, result.sense.begin());
    result.senseLength = static_cast<std::uint8_t>(n);
}

} // namespace

ScsiResult ClassifySgIo(const SgIoReturn& io)
{
    ScsiResult result;
    if (io.ioctlResult < 0) {
        // Nothing reached the drive; every other field is stale.
        result.transport = TransportOutcome::OsError;
        result.osError = io.osError;
        return result;
    }

    result.status = static_cast<std::uint8_t>(io.status & StatusMask);
    // Sense is kept whatever follows, for diagnostics of the last command.
    KeepSense(result, io);
    // A negative resid (overrun reported by some HBAs) or one larger than the
    // request says nothing about missing bytes; keep it within 0..dxfer_len.
    result.residual = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(io.resid, 0, static_cast<std::int64_t>(io.dataLength)));

    // The drive answered with something other than GOOD: that answer and its sense
    // are what counts, also when the host adapter reports trouble beside it (a
    // UNIT ATTENTION or BECOMING READY must reach the transport's retry and the
    // disc object's wait). The kernel marks every CHECK CONDITION with
    // DRIVER_SENSE, so driver_status is not looked at here.
    if (result.status != scsi::StatusGood) {
        result.transport = TransportOutcome::Delivered;
        return result;
    }

    // GOOD, but the host adapter failed (timeout, lost connection, abort): the
    // command did not complete.
    if (io.hostStatus != sgio::DidOk) {
        result.transport = TransportOutcome::HostError;
        return result;
    }

    if ((io.driverStatus & sgio::DriverErrorMask) != 0) {
        result.transport = TransportOutcome::DriverError;
        return result;
    }

    result.transport = ShortTransferOutcome(io.opcode, result.residual);
    return result;
}

std::optional<std::size_t> OddAllocationLengthAt(std::span<const std::uint8_t> cdb, std::size_t length)
{
    if (length % 2 == 0 || cdb.empty()) {
        return std::nullopt;
    }
    std::size_t at = 0;
    switch (cdb[0]) {
    case scsi::op::Inquiry:
        at = 3;
        break;
    case scsi::op::ReadSubChannel:
    case scsi::op::ReadToc:
    case scsi::op::ReadHeader:
    case scsi::op::GetConfiguration:
    case scsi::op::GetEventStatusNotification:
    case scsi::op::ReadDiscInformation:
    case scsi::op::ReadTrackInformation:
    case scsi::op::ModeSense10:
        at = 7;
        break;
    case scsi::op::ReadDiscStructure:
        at = 8;
        break;
    default:
        return std::nullopt;
    }
    if (cdb.size() < at + 2 || (std::size_t{cdb[at]} << 8 | cdb[at + 1]) != length || length >= 0xFFFF) {
        return std::nullopt;
    }
    return at;
}

} // namespace tolvane
