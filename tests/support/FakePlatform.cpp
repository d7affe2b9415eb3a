#include "support/FakePlatform.h"

#include "device/platform/RequestRecords.h"
#include "util/ByteOrder.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane::fake {

namespace {

namespace aspi = records::aspi;

constexpr std::uint8_t SS_NO_DEVICE = 0x82;
constexpr std::uint8_t HASTAT_SEL_TO = 0x11; // selection timeout
constexpr std::uint8_t HASTAT_DO_DU = 0x12;  // data over/underrun

char UpperLetter(char letter)
{
    return VirtualDriveRegistry::LetterOf(std::string_view(&letter, 1));
}

ScsiResult Deliver(const Answer& answer, std::span<std::uint8_t> data)
{
    std::copy_n(answer.data.begin(), std::min(answer.data.size(), data.size()), data.begin());
    return answer.result;
}

class FakeHandle : public DeviceHandle {
public:
    FakeHandle(FakePlatform& platform, FakeDrive& drive, char letter)
        : platform_(platform), drive_(drive), letter_(letter)
    {
    }
    ~FakeHandle() override { platform_.HandleClosed(); }

    bool GetScsiAddress(ScsiAddress& address) override
    {
        if (!drive_.addressThrows.empty())
            throw std::runtime_error(drive_.addressThrows);
        if (drive_.addressFails)
            return false;
        address = drive_.address;
        return true;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        platform_.Record(letter_, cdb, dataIn);
        return drive_.Respond(cdb, dataIn);
    }

private:
    FakePlatform& platform_;
    FakeDrive& drive_;
    char letter_;
};

} // namespace

FakeDrive& FakeDrive::Queue(ScsiResult result, std::vector<std::uint8_t> data)
{
    script.push_back({result, std::move(data)});
    return *this;
}

FakeDrive& FakeDrive::RespondTo(std::uint8_t opcode, ScsiResult result, std::vector<std::uint8_t> data)
{
    byOpcode[opcode] = {result, std::move(data)};
    return *this;
}

ScsiResult FakeDrive::Respond(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)
{
    if (!script.empty()) {
        const Answer answer = std::move(script.front());
        script.pop_front();
        return Deliver(answer, data);
    }
    if (handler)
        return handler(cdb, data);
    const auto it = cdb.empty() ? byOpcode.end() : byOpcode.find(cdb[0]);
    return it != byOpcode.end() ? Deliver(it->second, data) : ScsiResult::Success();
}

std::uint32_t FakeAspi::GetSupportInfo()
{
    return std::uint32_t{aspi::SS_COMP} << 8 | static_cast<std::uint32_t>(adapterCount & 0xFF);
}

const AspiDevice* FakeAspi::FindDevice(std::uint8_t adapter, std::uint8_t target) const
{
    const auto it = std::ranges::find_if(
        devices, [&](const AspiDevice& d) { return d.adapter == adapter && d.target == target; });
    return it == devices.end() ? nullptr : &*it;
}

bool FakeAspi::Send(std::span<std::uint8_t> srb, std::span<std::uint8_t> data)
{
    if (srb.size() < aspi::DevTypeSize)
        return false;
    const std::uint8_t adapter = srb[aspi::OffHaId];
    switch (srb[aspi::OffCmd]) {
    case aspi::SC_HA_INQUIRY:
        srb[aspi::OffStatus] =
            adapter < adapterCount && !failingAdapters.contains(adapter) ? aspi::SS_COMP : aspi::SS_ERR;
        return true;
    case aspi::SC_GET_DEV_TYPE: {
        const AspiDevice* device = FindDevice(adapter, srb[aspi::OffDevTarget]);
        srb[aspi::OffStatus] = device ? aspi::SS_COMP : SS_NO_DEVICE;
        srb[aspi::OffDeviceType] = device ? aspi::DTYPE_CDROM : 0;
        return true;
    }
    case aspi::SC_EXEC_SCSI_CMD:
        return Execute(srb, data);
    default:
        return false;
    }
}

bool FakeAspi::Execute(std::span<std::uint8_t> srb, std::span<std::uint8_t> data)
{
    if (srb.size() < aspi::ExecSize)
        return false;
    const auto cdb = std::span<const std::uint8_t>(srb).subspan(
        aspi::OffCdbByte, std::min<std::size_t>(srb[aspi::OffCdbLen], 16));
    const std::uint32_t bufLen = Le32(srb, aspi::OffBufLen);
    // The layer moves SRB_BufLen bytes: a record that claims more than the buffer holds is refused.
    if (bufLen > data.size()) {
        srb[aspi::OffStatus] = aspi::SS_ERR;
        return true;
    }
    const auto buffer = data.first(bufLen);
    const AspiDevice* device = FindDevice(srb[aspi::OffHaId], srb[aspi::OffTarget]);
    FakeDrive* drive = device ? platform_.Drive(device->letter) : nullptr;
    platform_.Record(device ? device->letter : 0, cdb, buffer);
    if (!drive) {
        srb[aspi::OffStatus] = SS_NO_DEVICE;
        return true;
    }
    const ScsiResult result = drive->Respond(cdb, buffer);
    srb[aspi::OffStatus] = result.Good() ? aspi::SS_COMP : aspi::SS_ERR;
    switch (result.transport) {
    case TransportOutcome::Delivered:
        srb[aspi::OffTargStat] = result.status;
        // The sense goes to byte 64, where the real layer puts it (not the transport's constant, so that
        // a wrong constant shows).
        if (result.status == scsi::StatusCheckCondition)
            std::copy_n(result.sense.begin(),
                        std::min<std::size_t>(result.senseLength, srb[aspi::OffSenseLen]), srb.begin() + 64);
        break;
    case TransportOutcome::HostError:
        srb[aspi::OffHaStat] = HASTAT_SEL_TO;
        break;
    case TransportOutcome::ShortRead:
        srb[aspi::OffHaStat] = HASTAT_DO_DU;
        break;
    case TransportOutcome::NotSent:
        return false;
    default:
        break; // OS or driver error: SS_ERR and nothing more
    }
    return true;
}

FakeDrive& FakePlatform::AddDrive(char letter)
{
    auto& slot = drives_[UpperLetter(letter)];
    if (!slot)
        slot = std::make_unique<FakeDrive>();
    return *slot;
}

FakeDrive& FakePlatform::AddAspiDrive(char letter, std::uint8_t adapter, std::uint8_t target)
{
    FakeDrive& drive = AddDrive(letter);
    drive.address.PortNumber = adapter;
    drive.address.TargetId = target;
    aspi.devices.push_back({adapter, target, UpperLetter(letter)});
    aspi.adapterCount = std::max(aspi.adapterCount, adapter + 1);
    return drive;
}

FakeDrive* FakePlatform::Drive(char letter)
{
    const auto it = drives_.find(UpperLetter(letter));
    return it == drives_.end() ? nullptr : it->second.get();
}

void FakePlatform::SetAspiLibrary(bool getSupportInfo, bool sendCommand)
{
    aspiRoutines_.clear();
    if (getSupportInfo)
        aspiRoutines_.insert("GetASPI32SupportInfo");
    if (sendCommand)
        aspiRoutines_.insert("SendASPI32Command");
}

bool FakePlatform::IsOpticalDrive(std::string_view drive)
{
    const FakeDrive* d = Drive(VirtualDriveRegistry::LetterOf(drive));
    return d && d->optical;
}

std::unique_ptr<DeviceHandle> FakePlatform::Open(std::string_view drive)
{
    const char letter = VirtualDriveRegistry::LetterOf(drive);
    FakeDrive* d = Drive(letter);
    if (!d || d->openFails)
        return nullptr;
    ++opens_;
    ++openHandles_;
    return std::make_unique<FakeHandle>(*this, *d, letter);
}

bool FakePlatform::IsLibraryAvailable(const std::string& file, const std::string& routine)
{
    probes_.emplace_back(file, routine);
    return file == "WnAspi32.dll" && aspiRoutines_.contains(routine);
}

void FakePlatform::Record(char letter, std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data)
{
    const bool zero = std::ranges::all_of(data, [](std::uint8_t b) { return b == 0; });
    commands_.push_back({letter, {cdb.begin(), cdb.end()}, data.size(), zero});
}

} // namespace tolvane::fake
