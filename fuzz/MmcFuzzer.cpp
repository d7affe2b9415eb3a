// The MMC transport with the virtual drive underneath, through the platform as a program uses
// it. The first byte picks the disc (or none); then each 7 bytes are a call: which command, a
// parameter byte (format, track, page or flags), a 32-bit block address and a buffer length
// byte (see DataInSize).
#include "FuzzSupport.h"

#include "device/MMC.h"
#include "device/platform/LinuxPlatform.h"
#include "device/platform/VirtualDrives.h"

namespace {

using namespace tolvane;

bool Call(MMC& mmc, fuzz::MmcCall call, std::uint8_t param, std::int32_t lba,
          std::vector<std::uint8_t>& buffer)
{
    using fuzz::MmcCall;
    const auto size = static_cast<std::int16_t>(std::min<std::size_t>(buffer.size(), 0x7FFF));
    std::uint8_t* p = buffer.empty() ? nullptr : buffer.data();
    switch (call) {
    case MmcCall::EventStatus:
        return mmc.GetEventStatusNotification(param, size, p);
    case MmcCall::Inquiry:
        return mmc.Inquiry(size, p);
    case MmcCall::ModeSense:
        return mmc.ModeSense(param, size, p);
    case MmcCall::Read:
        return mmc.Read(lba, size, p);
    case MmcCall::ReadCapacity:
        return mmc.ReadCapacity(size, p);
    case MmcCall::ReadCd:
        return mmc.ReadCD(lba, size, p);
    case MmcCall::ReadCdBurst:
        return mmc.ReadCD(lba, param % 32, static_cast<std::int32_t>(buffer.size()), p);
    case MmcCall::DiscInformation:
        return mmc.ReadDiscInformation(size, p);
    case MmcCall::DiscStructure:
        return mmc.ReadDiscStructure(param, size, p);
    case MmcCall::Header:
        return mmc.ReadHeader((param & 1) != 0, lba, size, p);
    case MmcCall::SubChannel:
        return mmc.ReadSubChannel(param & 0x0F, static_cast<std::uint8_t>(lba), size, p);
    case MmcCall::Toc:
        return mmc.ReadTOC((param & 0x80) != 0, param & 0x0F, size, p);
    case MmcCall::TrackInformation:
        return mmc.ReadTrackInformation(param, size, p);
    case MmcCall::StartStop:
        return mmc.StartStopUnit((param & 1) != 0);
    case MmcCall::TestUnitReady:
    case MmcCall::Count:
        break;
    }
    return mmc.TestUnitReady();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t CallSize = 7;
    if (size == 0)
        return 0;
    const auto& discs = fuzz::Discs();
    auto registry = std::make_shared<VirtualDriveRegistry>();
    const auto platform = CreateLinuxPlatform(registry, "/nonexistent-device-folder");
    auto drive = std::make_shared<emulator::EmulatedDrive>();
    if (const std::size_t pick = data[0] % (discs.size() + 1); pick < discs.size())
        drive->Insert(discs[pick]);
    const std::string letter = registry->Attach(drive);
    MMC mmc(*platform);
    TOLVANE_FUZZ_CHECK(mmc.Create(letter, MMC::InterfaceSpti));

    for (std::size_t off = 1; off + CallSize <= size; off += CallSize) {
        const auto call =
            static_cast<fuzz::MmcCall>(data[off] % static_cast<std::uint8_t>(fuzz::MmcCall::Count));
        std::size_t length = fuzz::DataInSize(data[off + 6]);
        if (call != fuzz::MmcCall::ReadCdBurst)
            length = std::min<std::size_t>(length, 0x7FFF);
        // Exactly the length the call is given, so that a write past it is a sanitizer report.
        std::vector<std::uint8_t> buffer(length);
        const auto lba = static_cast<std::int32_t>(Be32(ConstBytes(data + off + 2, 4), 0));
        const bool good = Call(mmc, call, data[off + 1], lba, buffer);
        const ScsiResult& result = mmc.LastResult();
        TOLVANE_FUZZ_CHECK(good == result.Good());
        TOLVANE_FUZZ_CHECK(result.senseLength <= ScsiResult::MaxSense);
        if (good)
            TOLVANE_FUZZ_CHECK(result.residual >= 0 &&
                               static_cast<std::size_t>(result.residual) <= buffer.size());
    }
    return 0;
}
