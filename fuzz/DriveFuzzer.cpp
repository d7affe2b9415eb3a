// The virtual drive's command dispatch. The first byte picks the disc (or none) and the faults
// the drive injects; then each 13 bytes are a command: a length byte for the data-in buffer
// (see DataInSize) and a 12-byte command block. Each input starts from a fresh drive, so a
// crash reproduces from its input alone.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvane;
    constexpr std::size_t CdbSize = 12;
    if (size == 0)
        return 0;
    const auto& discs = fuzz::Discs();
    const std::uint8_t setup = data[0];
    emulator::EmulatedDrive drive;
    if (const std::size_t pick = setup & 0x03; pick < discs.size())
        drive.Insert(discs[pick]);
    if ((setup & 0x04) != 0)
        drive.FailReadsAt(14, 4); // the blocks before and at the volume descriptors
    if ((setup & 0x08) != 0)
        drive.CorruptAt(16, 0x10, 0xFF);
    if ((setup & 0x10) != 0)
        drive.FailCommand(setup >> 5 == 0 ? 0x43 : 0xBE, 2);

    for (std::size_t off = 1; off + 1 + CdbSize <= size; off += 1 + CdbSize) {
        std::vector<std::uint8_t> buffer(fuzz::DataInSize(data[off]));
        std::vector<std::uint8_t> cdb(data + off + 1, data + off + 1 + CdbSize);
        fuzz::LimitTransferLength(cdb, buffer.size());
        fuzz::ExecuteChecked(drive, cdb, buffer);
    }
    return 0;
}
