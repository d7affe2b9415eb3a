#include "device/platform/RequestRecords.h"

#include "util/ByteOrder.h"

#include <algorithm>

namespace tolvane::records {

namespace {

constexpr std::size_t CdbFieldSize = 16;

// The command field holds at most 16 bytes; the rest of it stays zero.
std::uint8_t CopyCdb(Bytes record, std::size_t offset, std::span<const std::uint8_t> cdb)
{
    const std::size_t length = std::min(cdb.size(), CdbFieldSize);
    std::copy_n(cdb.begin(), length, record.begin() + static_cast<std::ptrdiff_t>(offset));
    return static_cast<std::uint8_t>(length);
}

} // namespace

namespace spti {

Record Build(std::uint8_t pathId, std::uint8_t targetId, std::uint8_t lun, std::span<const std::uint8_t> cdb,
             std::int32_t bufferSize, std::uint32_t bufferAddress)
{
    Record record{};
    PutLe16(record, OffLength, static_cast<std::uint16_t>(RecordSize));
    record[OffPathId] = pathId;
    record[OffTargetId] = targetId;
    record[OffLun] = lun;
    record[OffCdbLength] = CopyCdb(record, OffCdb, cdb);
    // Sense is asked for so that a CHECK CONDITION can be told apart from GOOD.
    record[OffSenseInfoLength] = static_cast<std::uint8_t>(SenseLength);
    // Every command is declared data-in, also those that move no data.
    record[OffDataIn] = DataIn;
    PutLe32(record, OffDataTransferLength, static_cast<std::uint32_t>(bufferSize)); // sign-extended
    PutLe32(record, OffTimeOutValue, TimeoutSeconds);
    PutLe32(record, OffDataBuffer, bufferAddress);
    PutLe32(record, OffSenseInfoOffset, static_cast<std::uint32_t>(SenseOffset));
    return record;
}

ScsiResult Outcome(const Record& record, std::uint8_t opcode, std::int32_t requested)
{
    ScsiResult result;
    result.status = record[OffScsiStatus];
    // The driver leaves in SenseInfoLength how many sense bytes it wrote ...
    const std::size_t senseLength = std::min<std::size_t>(record[OffSenseInfoLength], ScsiResult::MaxSense);
    std::copy_n(record.begin() + SenseOffset, senseLength, result.sense.begin());
    result.senseLength = static_cast<std::uint8_t>(senseLength);
    // ... and in DataTransferLength how many data bytes moved.
    const std::uint32_t transferred = Le32(record, OffDataTransferLength);
    result.residual = requested > 0 && transferred < static_cast<std::uint32_t>(requested)
                          ? requested - static_cast<std::int32_t>(transferred)
                          : 0;
    // A drive's answer other than GOOD counts as it is; a GOOD sector read that moved
    // fewer bytes than asked for lost data.
    result.transport = result.status != scsi::StatusGood ? TransportOutcome::Delivered
                                                         : ShortTransferOutcome(opcode, result.residual);
    return result;
}

} // namespace spti

namespace aspi {

HaInquiry BuildHaInquiry(std::uint8_t adapter)
{
    HaInquiry record{};
    record[OffCmd] = SC_HA_INQUIRY;
    record[OffHaId] = adapter;
    return record;
}

DevType BuildDevType(std::uint8_t adapter, std::uint8_t target)
{
    DevType record{};
    record[OffCmd] = SC_GET_DEV_TYPE;
    record[OffHaId] = adapter;
    record[OffDevTarget] = target;
    record[OffDevLun] = 0; // the drive is always logical unit 0
    return record;
}

Exec BuildExec(std::uint8_t adapter, std::uint8_t target, std::span<const std::uint8_t> cdb,
               std::int32_t bufferSize, std::uint32_t bufferAddress, std::uint32_t postProc)
{
    Exec record{};
    record[OffCmd] = SC_EXEC_SCSI_CMD;
    record[OffStatus] = SS_PENDING; // the layer writes the outcome here
    record[OffHaId] = adapter;
    record[OffFlags] = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    record[OffTarget] = target;
    record[OffLun] = 0;
    PutLe32(record, OffBufLen, static_cast<std::uint32_t>(bufferSize)); // sign-extended
    PutLe32(record, OffBufPointer, bufferAddress);
    record[OffSenseLen] = SenseLen;
    record[OffCdbLen] = CopyCdb(record, OffCdbByte, cdb);
    PutLe32(record, OffPostProc, postProc);
    return record;
}

} // namespace aspi

} // namespace tolvane::records
