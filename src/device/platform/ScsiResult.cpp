#include "device/platform/ScsiResult.h"

#include "device/platform/ScsiOpcodes.h"

namespace tolvane {

namespace {

std::string Hex2(std::uint8_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 0x0F]};
}

} // namespace

std::string FormatCdb(std::span<const std::uint8_t> cdb)
{
    std::string text;
    for (const std::uint8_t b : cdb) {
        text += ' ' + Hex2(b);
    }
    return text;
}

TransportOutcome ShortTransferOutcome(std::uint8_t opcode, std::int32_t residual)
{
    const bool sectors = opcode == scsi::op::Read10 || opcode == scsi::op::ReadCd;
    return residual > 0 && sectors ? TransportOutcome::ShortRead : TransportOutcome::Delivered;
}

std::string ToString(TransportOutcome outcome)
{
    switch (outcome) {
    case TransportOutcome::NotSent:
        return "NotSent";
    case TransportOutcome::Delivered:
        return "Delivered";
    case TransportOutcome::OsError:
        return "OsError";
    case TransportOutcome::HostError:
        return "HostError";
    case TransportOutcome::DriverError:
        return "DriverError";
    case TransportOutcome::ShortRead:
        return "ShortRead";
    }
    return "Unknown (" + std::to_string(static_cast<int>(outcome)) + ")";
}

ScsiResult ScsiResult::CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq)
{
    ScsiResult result;
    result.transport = TransportOutcome::Delivered;
    result.status = scsi::StatusCheckCondition;
    result.sense[0] = 0x70;       // current error, fixed format
    result.sense[2] = key & 0x0F; // sense key
    result.sense[7] = 10;         // additional sense length: bytes 8 to 17
    result.sense[12] = asc;       // additional sense code
    result.sense[13] = ascq;      // additional sense code qualifier
    result.senseLength = MaxSense;
    return result;
}

ScsiResult ScsiResult::Success(std::int32_t residual)
{
    ScsiResult result;
    result.transport = TransportOutcome::Delivered;
    result.status = scsi::StatusGood;
    result.residual = residual;
    return result;
}

std::string ScsiResult::Describe() const
{
    if (transport != TransportOutcome::Delivered) {
        std::string text = ToString(transport);
        if (osError != 0) {
            text += " (error " + std::to_string(osError) + ")";
        }
        return text;
    }
    switch (status) {
    case scsi::StatusGood:
        return "GOOD";
    case scsi::StatusCheckCondition:
        return "CHECK CONDITION " + Hex2(SenseKey()) + "/" + Hex2(Asc()) + "/" + Hex2(Ascq());
    case scsi::StatusBusy:
        return "BUSY";
    default:
        return "STATUS " + Hex2(status);
    }
}

} // namespace tolvane
