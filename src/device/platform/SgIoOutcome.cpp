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

    // The host adapter failed (timeout, lost connection, abort): whatever status
    // byte is there did not come from the drive, even a CHECK CONDITION.
    if (io.hostStatus != sgio::DidOk) {
        result.transport = TransportOutcome::HostError;
        return result;
    }

    // The drive answered with something other than GOOD: that answer and its
    // sense are what counts. The kernel marks every CHECK CONDITION with
    // DRIVER_SENSE, so driver_status is not looked at here.
    if (result.status != scsi::StatusGood) {
        result.transport = TransportOutcome::Delivered;
        return result;
    }

    if ((io.driverStatus & sgio::DriverErrorMask) != 0) {
        result.transport = TransportOutcome::DriverError;
        return result;
    }

    // Drives answer fewer bytes than the allocation length all the time (INQUIRY,
    // MODE SENSE, READ TOC); only for sector reads does it mean data was lost.
    if (result.residual > 0 && (io.opcode == scsi::op::Read10 || io.opcode == scsi::op::ReadCd)) {
        result.transport = TransportOutcome::ShortRead;
        return result;
    }

    result.transport = TransportOutcome::Delivered;
    return result;
}

} // namespace tolvane
