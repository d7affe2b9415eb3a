#include "emulator/BulkOnly.h"

#include "util/ByteOrder.h"

#include <algorithm>

namespace tolvane::emulator::bot {

std::optional<CommandBlockWrapper> ParseCbw(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() != CbwLength || Le32(bytes, 0) != CbwSignature) {
        return std::nullopt;
    }
    const std::size_t cdbLength = bytes[14] & 0x1F;
    if (cdbLength == 0 || cdbLength > 16) {
        return std::nullopt;
    }
    CommandBlockWrapper cbw;
    cbw.tag = Le32(bytes, 4);
    cbw.dataLength = Le32(bytes, 8);
    cbw.dataIn = (bytes[12] & 0x80) != 0;
    cbw.lun = bytes[13] & 0x0F;
    cbw.cdb.assign(bytes.begin() + 15, bytes.begin() + 15 + static_cast<std::ptrdiff_t>(cdbLength));
    return cbw;
}

std::array<std::uint8_t, CswLength> MakeCsw(std::uint32_t tag, std::uint32_t residue, CswStatus status)
{
    std::array<std::uint8_t, CswLength> csw{};
    PutLe32(csw, 0, CswSignature);
    PutLe32(csw, 4, tag);
    PutLe32(csw, 8, residue);
    csw[12] = static_cast<std::uint8_t>(status);
    return csw;
}

Reply Execute(VirtualDrive& drive, const CommandBlockWrapper& cbw)
{
    Reply reply;
    // A failed command: its data stage, if any, is all zeros and none of it real.
    const auto failed = [&] {
        reply.dataIn.assign(cbw.dataIn ? cbw.dataLength : 0, 0);
        reply.csw = MakeCsw(cbw.tag, cbw.dataLength, CswStatus::Failed);
        return reply;
    };
    if (cbw.lun != 0) { // one drive, one logical unit (GET MAX LUN answers 0)
        return failed();
    }
    if (!cbw.dataIn) {
        // A data-out stage was read and taken whole by the caller; the drive answers from the block alone.
        if (!drive.Execute(cbw.cdb, {}).Good()) {
            return failed();
        }
        reply.csw = MakeCsw(cbw.tag, 0, CswStatus::Passed);
        return reply;
    }
    reply.dataIn.assign(cbw.dataLength, 0);
    const ScsiResult r = drive.Execute(cbw.cdb, reply.dataIn);
    if (!r.Good()) {
        return failed();
    }
    const auto residual = static_cast<std::uint32_t>(std::clamp<std::int64_t>(r.residual, 0, cbw.dataLength));
    reply.csw = MakeCsw(cbw.tag, residual, CswStatus::Passed);
    return reply;
}

} // namespace tolvane::emulator::bot
