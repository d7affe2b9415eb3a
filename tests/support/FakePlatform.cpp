#include "support/FakePlatform.h"

#include "device/platform/RequestRecords.h"
#include "util/ByteOrder.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane::fake {

namespace {

namespace aspi = records::aspi;

constexpr const char* AspiLibrary = "WnAspi32.dll";

char UpperLetter(char letter)
{
    return VirtualDriveRegistry::LetterOf(std::string_view(&letter, 1));
}

void Deliver(const Answer& answer, std::span<std::uint8_t> data)
{
    const std::size_t n = std::min(answer.data.size(), data.size());
    std::copy_n(answer.data.begin(), n, data.begin());
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
        if (!drive_.addressThrows.empty()) {
            throw std::runtime_error(drive_.addressThrows);
        }
        if (drive_.addressFails) {
            return false;
        }
        address = drive_.address;
        return true;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        platform_.Record(letter_, cdb, dataIn, false);
        return drive_.Respond(cdb, dataIn);
    }

private:
    FakePlatform& platform_;
    FakeDrive& drive_;
    char letter_;
};

} // namespace

// --- FakeDrive -----------------------------------------------------------------------

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

FakeDrive& FakeDrive::Serve(std::shared_ptr<VirtualDrive> drive)
{
    handler = [drive = std::move(drive)](std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data) {
        return drive->Execute(cdb, data);
    };
    return *this;
}

ScsiResult FakeDrive::Respond(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)
{
    if (!script.empty()) {
        const Answer answer = std::move(script.front());
        script.pop_front();
        Deliver(answer, data);
        return answer.result;
    }
    if (handler) {
        return handler(cdb, data);
    }
    if (!cdb.empty()) {
        if (const auto it = byOpcode.find(cdb[0]); it != byOpcode.end()) {
            Deliver(it->second, data);
            return it->second.result;
        }
    }
    Deliver(fallback, data);
    return fallback.result;
}

// --- FakeAspi ------------------------------------------------------------------------

std::uint32_t FakeAspi::GetSupportInfo()
{
    if (supportInfo) {
        return *supportInfo;
    }
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
    requests.emplace_back(srb.begin(), srb.end());
    if (sendFails || srb.size() < aspi::DevTypeSize) {
        return false;
    }
    const std::uint8_t adapter = srb[aspi::OffHaId];
    switch (srb[aspi::OffCmd]) {
    case aspi::SC_HA_INQUIRY: {
        const bool present = adapter < adapterCount && !failingAdapters.contains(adapter);
        srb[aspi::OffStatus] = present ? aspi::SS_COMP : aspi::SS_ERR;
        if (present && srb.size() > aspi::OffHaCount) {
            srb[aspi::OffHaCount] = static_cast<std::uint8_t>(adapterCount);
        }
        return true;
    }
    case aspi::SC_GET_DEV_TYPE: {
        const AspiDevice* device = FindDevice(adapter, srb[aspi::OffDevTarget]);
        srb[aspi::OffStatus] = device ? aspi::SS_COMP : SS_NO_DEVICE;
        srb[aspi::OffDeviceType] = device ? device->deviceType : 0;
        return true;
    }
    case aspi::SC_EXEC_SCSI_CMD:
        if (execHandler) {
            return execHandler(srb, data);
        }
        return Execute(srb, data);
    default:
        return false;
    }
}

bool FakeAspi::Execute(std::span<std::uint8_t> srb, std::span<std::uint8_t> data)
{
    if (srb.size() < aspi::ExecSize) {
        return false;
    }
    const std::size_t cdbLength = std::min<std::size_t>(srb[aspi::OffCdbLen], 16);
    const auto cdb = std::span<const std::uint8_t>(srb).subspan(aspi::OffCdbByte, cdbLength);
    const std::uint32_t bufLen = Le32(srb, aspi::OffBufLen);
    // The layer moves SRB_BufLen bytes: a record that claims more than the buffer holds is refused.
    if (bufLen > data.size()) {
        srb[aspi::OffStatus] = aspi::SS_ERR;
        return true;
    }
    const auto buffer = data.first(bufLen);
    const AspiDevice* device = FindDevice(srb[aspi::OffHaId], srb[aspi::OffTarget]);
    FakeDrive* drive = device ? platform_.Drive(device->letter) : nullptr;
    platform_.Record(device ? device->letter : 0, cdb, buffer, true);
    if (!drive) {
        srb[aspi::OffStatus] = SS_NO_DEVICE;
        return true;
    }

    const ScsiResult result = drive->Respond(cdb, buffer);
    srb[aspi::OffStatus] = result.Good() ? aspi::SS_COMP : aspi::SS_ERR;
    switch (result.transport) {
    case TransportOutcome::Delivered:
        srb[aspi::OffTargStat] = result.status;
        if (result.status == scsi::StatusCheckCondition) {
            const std::size_t n = std::min<std::size_t>(result.senseLength, srb[aspi::OffSenseLen]);
            std::copy_n(result.sense.begin(), n, srb.begin() + aspi::OffSenseArea);
        }
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

// --- FakePlatform --------------------------------------------------------------------

FakePlatform::FakePlatform() : aspi(*this)
{
}

FakePlatform::~FakePlatform() = default;

FakeDrive& FakePlatform::AddDrive(char letter)
{
    auto& slot = drives_[UpperLetter(letter)];
    if (!slot) {
        slot = std::make_unique<FakeDrive>();
    }
    return *slot;
}

FakeDrive& FakePlatform::AddAspiDrive(char letter, std::uint8_t adapter, std::uint8_t target)
{
    FakeDrive& drive = AddDrive(letter);
    drive.address.PortNumber = adapter;
    drive.address.TargetId = target;
    aspi.devices.push_back({adapter, target, records::aspi::DTYPE_CDROM, UpperLetter(letter)});
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
    if (getSupportInfo) {
        aspiRoutines_.insert("GetASPI32SupportInfo");
    }
    if (sendCommand) {
        aspiRoutines_.insert("SendASPI32Command");
    }
}

std::vector<SentCommand> FakePlatform::CommandsTo(char letter) const
{
    std::vector<SentCommand> result;
    std::ranges::copy_if(commands_, std::back_inserter(result),
                         [&](const SentCommand& c) { return c.letter == UpperLetter(letter); });
    return result;
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
    if (!d) {
        return nullptr;
    }
    if (!d->openThrows.empty()) {
        throw std::runtime_error(d->openThrows);
    }
    if (d->openFails) {
        return nullptr;
    }
    ++opens_;
    ++openHandles_;
    return std::make_unique<FakeHandle>(*this, *d, letter);
}

bool FakePlatform::IsLibraryAvailable(const std::string& file, const std::string& routine)
{
    probes_.emplace_back(file, routine);
    if (libraryProbe) {
        return libraryProbe(file, routine);
    }
    return file == AspiLibrary && aspiRoutines_.contains(routine);
}

AspiLayer* FakePlatform::Aspi()
{
    return aspiBindable ? &aspi : nullptr;
}

void FakePlatform::Record(char letter, std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                          bool viaAspi)
{
    SentCommand command;
    command.letter = letter;
    command.cdb.assign(cdb.begin(), cdb.end());
    command.dataLength = data.size();
    command.dataWasZero = std::ranges::all_of(data, [](std::uint8_t b) { return b == 0; });
    command.viaAspi = viaAspi;
    commands_.push_back(std::move(command));
}

} // namespace tolvane::fake
