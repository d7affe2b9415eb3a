#include "emulator/DriveImpl.h"

namespace tolvane::emulator {

namespace {

// The length of a command block by its group code (bits 5-7 of the operation code).
std::size_t CdbLength(std::uint8_t opcode)
{
    switch (opcode >> 5) {
    case 0:
        return 6;
    case 1:
    case 2:
        return 10;
    case 4:
        return 16;
    case 5:
        return 12;
    default:
        return 10; // vendor-specific groups: unknown commands anyway
    }
}

namespace op = scsi::op;

} // namespace

void EmulatedDrive::Impl::SetDisc(std::shared_ptr<const Disc> d)
{
    disc = std::move(d);
    tracks.clear();
    sessions.clear();
    cdTextPacks.clear();
    cdTextReady = false;
    cachedExtent = nullptr;
    position = 0;
    if (!disc) {
        return;
    }
    tracks = disc->tracks;
    sessions = disc->sessions;
    for (Track& t : tracks) {
        t.control =
            static_cast<std::uint8_t>((t.control & ~control::Data) | (IsData(t.mode) ? control::Data : 0));
    }
    if (IsDvd(disc->media) && tracks.empty() && disc->capacity > 0) {
        Track t;
        t.mode = TrackMode::Mode1;
        t.control = control::Data;
        t.end = disc->capacity;
        tracks.push_back(t);
    }
    if (sessions.empty() && !tracks.empty()) {
        sessions.push_back(Session{1, disc->capacity, 0x00});
    }
}

// The tray closes on a disc: the drive reports the change and spins up.
void EmulatedDrive::Impl::Loaded()
{
    if (!disc) {
        return;
    }
    unitAttention = true;
    readyAt = clock->Now() + spinUp;
    mediaEvent = media_event::NewMedia;
}

void EmulatedDrive::Impl::Charge(Clock::Duration d)
{
    if (d.count() != 0) {
        clock->Advance(d);
        modelled += d;
    }
}

const Track* EmulatedDrive::Impl::FindTrack(std::uint8_t number) const
{
    const auto it = std::ranges::find_if(tracks, [&](const Track& t) { return t.number == number; });
    return it == tracks.end() ? nullptr : &*it;
}

const Session* EmulatedDrive::Impl::FindSession(std::uint8_t number) const
{
    const auto it = std::ranges::find_if(sessions, [&](const Session& s) { return s.number == number; });
    return it == sessions.end() ? nullptr : &*it;
}

// The track's size as a drive derives it from the TOC: up to the next track's
// start in the same session, or to the session's lead-out.
std::int32_t EmulatedDrive::Impl::TrackSize(const Track& t) const
{
    const auto it = std::ranges::find_if(tracks, [&](const Track& n) { return n.number == t.number + 1; });
    if (it != tracks.end() && it->session == t.session) {
        return it->start - t.start;
    }
    const Session* s = FindSession(t.session);
    return (s != nullptr ? s->leadOut : t.end) - t.start;
}

std::uint8_t EmulatedDrive::Impl::FirstTrackOf(const Session& s) const
{
    const auto it = std::ranges::find_if(tracks, [&](const Track& t) { return t.session == s.number; });
    return it == tracks.end() ? 0 : it->number;
}

const Track* EmulatedDrive::Impl::LastTrackOf(const Session& s) const
{
    const Track* last = nullptr;
    for (const Track& t : tracks) {
        if (t.session == s.number) {
            last = &t;
        }
    }
    return last;
}

// The index of a block within its track: 0 in the pregap, then 1, 2 ...
std::uint8_t EmulatedDrive::Impl::IndexAt(const Track& t, std::int32_t lba)
{
    if (lba < t.start) {
        return 0;
    }
    const auto later = std::ranges::count_if(t.moreIndexes, [&](std::int32_t i) { return i <= lba; });
    return static_cast<std::uint8_t>(1 + later);
}

std::optional<Sense> EmulatedDrive::Impl::MediumProblem() const
{
    if (tray == Tray::Open) {
        return sense::TrayOpen;
    }
    if (!disc) {
        return sense::MediumNotPresent;
    }
    if (clock->Now() < readyAt) {
        return sense::BecomingReady;
    }
    return std::nullopt;
}

std::optional<std::int32_t> EmulatedDrive::Impl::FirstBadBlock(std::int32_t lba, std::int64_t count) const
{
    std::optional<std::int32_t> first;
    for (const auto& [begin, end] : badBlocks) {
        if (begin < lba + count && end > lba) {
            const std::int32_t hit = std::max(begin, lba);
            first = first ? std::min(*first, hit) : hit;
        }
    }
    return first;
}

ScsiResult EmulatedDrive::Impl::Failed(Sense s, std::optional<std::int32_t> information, Bytes dataIn)
{
    ScsiResult result = ScsiResult::CheckCondition(s.key, s.asc, s.ascq);
    if (information) {
        result.sense[0] |= 0x80; // VALID: the information field holds the block
        PutBe32(result.sense, 3, static_cast<std::uint32_t>(*information));
    }
    result.residual = static_cast<std::int32_t>(dataIn.size());
    deferredSense = result;
    return result;
}

ScsiResult EmulatedDrive::Impl::Dispatch(ConstBytes cdb, Bytes dataIn)
{
    if (cdb.empty()) {
        return Failed(sense::InvalidOpcode, std::nullopt, dataIn);
    }
    const std::uint8_t opcode = cdb[0];
    if (opcode != op::RequestSense) {
        deferredSense.reset(); // sense data describes the last command only
    }
    const Entry* entry = Find(opcode);
    if (entry == nullptr) {
        return Failed(sense::InvalidOpcode, std::nullopt, dataIn);
    }
    if (cdb.size() < CdbLength(opcode)) {
        return Failed(sense::InvalidField, std::nullopt, dataIn);
    }
    if (const auto fault = commandFaults.find(opcode); fault != commandFaults.end()) {
        const Sense s = fault->second.sense;
        if (fault->second.remaining > 0 && --fault->second.remaining == 0) {
            commandFaults.erase(fault);
        }
        return Failed(s, std::nullopt, dataIn);
    }
    if (unitAttention && (entry->flags & SkipsAttention) == 0) {
        unitAttention = false;
        return Failed(sense::MediumMayHaveChanged, std::nullopt, dataIn);
    }
    if ((entry->flags & NeedsMedium) != 0) {
        if (const auto problem = MediumProblem()) {
            return Failed(*problem, std::nullopt, dataIn);
        }
    }
    const Outcome outcome = (this->*entry->handler)(Request{cdb, dataIn});
    if (outcome.failure) {
        return Failed(*outcome.failure, outcome.information, dataIn);
    }
    // The one place an answer is cut: to the allocation length and the
    // buffer, while the answer's own length fields keep the full length.
    std::size_t limit = dataIn.size();
    if (entry->allocationWidth == 2) {
        limit = std::min<std::size_t>(limit, Be16(cdb, entry->allocationOffset));
    } else if (entry->allocationWidth == 1) {
        limit = std::min<std::size_t>(limit, cdb[entry->allocationOffset]);
    }
    const std::size_t transferred = std::min(outcome.length, limit);
    if (!outcome.inPlace) {
        std::copy_n(answer.begin(), transferred, dataIn.begin());
    }
    return ScsiResult::Success(static_cast<std::int32_t>(dataIn.size() - transferred));
}

ScsiResult EmulatedDrive::Impl::Execute(ConstBytes cdb, Bytes dataIn)
{
    std::lock_guard lock(mutex);
    ++commands;
    commandSectors = 0;
    ScsiResult result = Dispatch(cdb, dataIn);
    sectors += static_cast<std::uint64_t>(commandSectors);
    Charge(timing.perCommand + timing.perSector * commandSectors);
    return result;
}

// The commands the drive answers. Allocation lengths: INQUIRY's is 16 bits at
// bytes 3-4 (SPC-3), REQUEST SENSE's byte 4, READ DISC STRUCTURE's bytes 8-9,
// the others' bytes 7-8; READ CAPACITY, READ(10) and READ CD have none.
const std::array<EmulatedDrive::Impl::Entry, 18> EmulatedDrive::Impl::Table{{
    {op::TestUnitReady, "TEST UNIT READY", &Impl::TestUnitReady, 0, 0, NeedsMedium},
    {op::RequestSense, "REQUEST SENSE", &Impl::RequestSense, 4, 1, SkipsAttention},
    {op::Inquiry, "INQUIRY", &Impl::Inquiry, 3, 2, SkipsAttention},
    {op::StartStopUnit, "START STOP UNIT", &Impl::StartStopUnit, 0, 0, NoFlags},
    {op::PreventAllowMediumRemoval, "PREVENT ALLOW MEDIUM REMOVAL", &Impl::PreventAllowMediumRemoval, 0, 0,
     NoFlags},
    {op::ReadCapacity, "READ CAPACITY", &Impl::ReadCapacity, 0, 0, NeedsMedium},
    {op::Read10, "READ(10)", &Impl::Read10, 0, 0, NeedsMedium},
    {op::ReadSubChannel, "READ SUB-CHANNEL", &Impl::ReadSubChannel, 7, 2, NeedsMedium},
    {op::ReadToc, "READ TOC/PMA/ATIP", &Impl::ReadToc, 7, 2, NeedsMedium},
    {op::ReadHeader, "READ HEADER", &Impl::ReadHeader, 7, 2, NeedsMedium},
    {op::GetConfiguration, "GET CONFIGURATION", &Impl::GetConfiguration, 7, 2, SkipsAttention},
    {op::GetEventStatusNotification, "GET EVENT STATUS NOTIFICATION", &Impl::GetEventStatusNotification, 7, 2,
     SkipsAttention},
    {op::ReadDiscInformation, "READ DISC INFORMATION", &Impl::ReadDiscInformation, 7, 2, NeedsMedium},
    {op::ReadTrackInformation, "READ TRACK INFORMATION", &Impl::ReadTrackInformation, 7, 2, NeedsMedium},
    {op::ModeSense10, "MODE SENSE(10)", &Impl::ModeSense, 7, 2, NoFlags},
    {op::ReadDiscStructure, "READ DISC STRUCTURE", &Impl::ReadDiscStructure, 8, 2, NeedsMedium},
    {op::ReadCd, "READ CD", &Impl::ReadCd, 0, 0, NeedsMedium},
    {op::SetCdSpeed, "SET CD SPEED", &Impl::SetCdSpeed, 0, 0, NoFlags},
}};

EmulatedDrive::EmulatedDrive(std::shared_ptr<Clock> clock, DriveIdentity identity)
    : impl_(std::make_shared<Impl>(clock ? std::move(clock) : std::make_shared<VirtualClock>(), identity)),
      identity_(std::move(identity))
{
}

void EmulatedDrive::Insert(std::shared_ptr<const Disc> disc)
{
    std::lock_guard lock(impl_->mutex);
    impl_->SetDisc(std::move(disc));
    impl_->tray = Tray::Closed;
    impl_->Loaded();
}

void EmulatedDrive::Remove()
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->disc) {
        impl_->mediaEvent = media_event::MediaRemoval;
    }
    impl_->SetDisc(nullptr);
}

std::shared_ptr<const Disc> EmulatedDrive::CurrentDisc() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->disc;
}

EmulatedDrive::Tray EmulatedDrive::TrayState() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->tray;
}

void EmulatedDrive::SetSpinUpTime(Clock::Duration d)
{
    std::lock_guard lock(impl_->mutex);
    impl_->spinUp = d;
}

void EmulatedDrive::FailCommand(std::uint8_t opcode, int times, std::uint8_t key, std::uint8_t asc,
                                std::uint8_t ascq)
{
    std::lock_guard lock(impl_->mutex);
    if (times == 0) {
        impl_->commandFaults.erase(opcode);
        return;
    }
    impl_->commandFaults[opcode] = Impl::CommandFault{times < 0 ? -1 : times, Sense{key, asc, ascq}};
}

void EmulatedDrive::FailReadsAt(std::int32_t lba, std::int32_t count)
{
    std::lock_guard lock(impl_->mutex);
    if (count > 0) {
        impl_->badBlocks.emplace_back(lba, lba + count);
    }
}

void EmulatedDrive::CorruptAt(std::int32_t lba, std::size_t offset, std::uint8_t mask)
{
    std::lock_guard lock(impl_->mutex);
    impl_->corruptions.emplace(lba, Impl::Corruption{offset, mask});
}

void EmulatedDrive::DamageAt(std::int32_t lba, std::int32_t count, Damage damage, std::uint64_t seed)
{
    std::lock_guard lock(impl_->mutex);
    for (std::int32_t i = 0; i < count; ++i) {
        impl_->damaged[lba + i] = Impl::Damaged{damage, seed, 0};
    }
}

void EmulatedDrive::ClearFaults()
{
    std::lock_guard lock(impl_->mutex);
    impl_->commandFaults.clear();
    impl_->badBlocks.clear();
    impl_->corruptions.clear();
    impl_->damaged.clear();
}

void EmulatedDrive::SetReadModel(const ReadModel& model)
{
    std::lock_guard lock(impl_->mutex);
    impl_->readModel = model;
    impl_->cacheEnd = impl_->cacheStart; // a new drive's cache is empty
}

void EmulatedDrive::SetTiming(TimingModel model)
{
    std::lock_guard lock(impl_->mutex);
    impl_->timing = model;
}

Clock::Duration EmulatedDrive::ModelledTime() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->modelled;
}

std::uint64_t EmulatedDrive::CommandCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->commands;
}

std::uint64_t EmulatedDrive::SectorCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->sectors;
}

void EmulatedDrive::ResetStatistics()
{
    std::lock_guard lock(impl_->mutex);
    impl_->modelled = Clock::Duration{0};
    impl_->commands = 0;
    impl_->sectors = 0;
}

const char* EmulatedDrive::CommandName(std::uint8_t opcode)
{
    const Impl::Entry* entry = Impl::Find(opcode);
    return entry != nullptr ? entry->name : nullptr;
}

ScsiResult EmulatedDrive::Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn)
{
    return impl_->Execute(cdb, dataIn);
}

} // namespace tolvane::emulator
