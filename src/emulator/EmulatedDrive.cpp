#include "emulator/EmulatedDrive.h"

#include "device/platform/ScsiOpcodes.h"
#include "emulator/SectorSynth.h"
#include "util/ByteOrder.h"
#include "util/CdText.h"
#include "util/Msf.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace tolvane::emulator {

namespace {

namespace op = scsi::op;

struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

namespace sense {
constexpr Sense MediumNotPresent{scsi::SenseNotReady, 0x3A, 0x01}; // tray closed
constexpr Sense TrayOpen{scsi::SenseNotReady, 0x3A, 0x02};
constexpr Sense BecomingReady{scsi::SenseNotReady, 0x04, 0x01};
constexpr Sense UnrecoveredReadError{scsi::SenseMediumError, 0x11, 0x00};
constexpr Sense InvalidOpcode{scsi::SenseIllegalRequest, 0x20, 0x00};
constexpr Sense LbaOutOfRange{scsi::SenseIllegalRequest, 0x21, 0x00};
constexpr Sense InvalidField{scsi::SenseIllegalRequest, 0x24, 0x00};
constexpr Sense IncompatibleFormat{scsi::SenseIllegalRequest, 0x30, 0x02};
constexpr Sense SavingNotSupported{scsi::SenseIllegalRequest, 0x39, 0x00};
constexpr Sense MediumRemovalPrevented{scsi::SenseIllegalRequest, 0x53, 0x02};
constexpr Sense IllegalModeForTrack{scsi::SenseIllegalRequest, 0x64, 0x00};
constexpr Sense MediumMayHaveChanged{scsi::SenseUnitAttention, 0x28, 0x00};
} // namespace sense

// Media event codes of GET EVENT STATUS NOTIFICATION's media class.
namespace media_event {
constexpr std::uint8_t NoChange = 0;
constexpr std::uint8_t NewMedia = 2;
constexpr std::uint8_t MediaRemoval = 3;
} // namespace media_event

// What a handler made of a command: a sense to report, or an answer of `length`
// bytes, built in the drive's answer buffer or (reads) written into the caller's
// buffer as far as it reaches.
struct Outcome {
    std::optional<Sense> failure;
    std::optional<std::int32_t> information; // the block a medium error is about
    std::size_t length = 0;
    bool inPlace = false;

    static Outcome Fail(Sense s, std::optional<std::int32_t> block = std::nullopt)
    {
        Outcome o;
        o.failure = s;
        o.information = block;
        return o;
    }
    static Outcome Built(std::size_t length)
    {
        Outcome o;
        o.length = length;
        return o;
    }
    static Outcome Written(std::size_t length)
    {
        Outcome o;
        o.length = length;
        o.inPlace = true;
        return o;
    }
};

struct Request {
    ConstBytes cdb;
    Bytes dataIn;
};

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

// An address field of 4 bytes: a logical block address, or 0, minute, second,
// frame (binary). A DVD's address can pass 255 minutes; its minute byte then
// holds the minute modulo 256, as drives give it.
void PutAddress(Bytes b, std::size_t off, std::int32_t lba, bool msf)
{
    if (!msf) {
        PutBe32(b, off, static_cast<std::uint32_t>(lba));
        return;
    }
    const Msf m = Msf::FromLba(std::max(lba, -Msf::LeadInOffset));
    b[off] = 0;
    b[off + 1] = static_cast<std::uint8_t>(m.minute & 0xFF);
    b[off + 2] = static_cast<std::uint8_t>(m.second);
    b[off + 3] = static_cast<std::uint8_t>(m.frame);
}

// Three bytes of binary minute, second, frame of a disc address (the full TOC, the ATIP).
void PutMsf3(Bytes b, std::size_t off, const Msf& m)
{
    b[off] = static_cast<std::uint8_t>(m.minute & 0xFF);
    b[off + 1] = static_cast<std::uint8_t>(m.second);
    b[off + 2] = static_cast<std::uint8_t>(m.frame);
}

void PutPadded(Bytes b, std::size_t off, std::size_t width, const std::string& text)
{
    for (std::size_t i = 0; i < width; ++i) {
        b[off + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

// The Q sub-channel's CRC: CCITT polynomial x^16 + x^12 + x^5 + 1, stored inverted.
std::uint16_t SubQCrc(ConstBytes bytes)
{
    std::uint16_t crc = 0;
    for (const std::uint8_t b : bytes) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return static_cast<std::uint16_t>(~crc);
}

bool IsXa(TrackMode mode)
{
    return mode == TrackMode::Mode2Form1 || mode == TrackMode::Mode2Form2 || mode == TrackMode::Mode2FormMix;
}

// The format a block without any extent is synthesized in (zeros as user data).
SectorFormat NaturalFormat(TrackMode mode)
{
    switch (mode) {
    case TrackMode::Audio:
        return SectorFormat::Audio;
    case TrackMode::Mode1:
        return SectorFormat::Mode1Data;
    case TrackMode::Mode2:
        return SectorFormat::Mode2Data;
    case TrackMode::Mode2Form1:
    case TrackMode::Mode2FormMix:
        return SectorFormat::Form1Data;
    case TrackMode::Mode2Form2:
        return SectorFormat::Form2Data;
    }
    return SectorFormat::Mode1Data;
}

// Values of the ATIP a recordable CD answers with: an 80-minute blank, whose
// lead-in starts at 97:27:00 (a negative address, written as the ATIP writes it)
// and whose last possible lead-out starts at 79:59:74.
constexpr Msf AtipLeadInStart{97, 27, 0};
constexpr Msf AtipLastLeadOut{79, 59, 74};
// From the start of a session's lead-out to the start of the next session's
// program area: 6,750 blocks of lead-out, 4,500 of lead-in.
constexpr std::int32_t LeadOutBlocks = 6750;
constexpr std::int32_t LeadInBlocks = 4500;
constexpr std::int32_t FirstPregapBlocks = 150;

// GET CONFIGURATION profiles.
namespace profile {
constexpr std::uint16_t None = 0x0000;
constexpr std::uint16_t CdRom = 0x0008;
constexpr std::uint16_t CdR = 0x0009;
constexpr std::uint16_t CdRw = 0x000A;
constexpr std::uint16_t DvdRom = 0x0010;
constexpr std::uint16_t DvdR = 0x0011;
constexpr std::uint16_t DvdRam = 0x0012;
constexpr std::uint16_t DvdRwSequential = 0x0014;
constexpr std::uint16_t DvdPlusRw = 0x001A;
constexpr std::uint16_t DvdPlusR = 0x001B;
// The profiles a reader of CDs and DVDs offers, most capable first.
constexpr std::array<std::uint16_t, 9> Supported{
    DvdPlusR, DvdPlusRw, DvdRwSequential, DvdRam, DvdR, DvdRom, CdRw, CdR, CdRom};
} // namespace profile

std::uint16_t ProfileOf(MediaKind kind)
{
    switch (kind) {
    case MediaKind::PressedCd:
        return profile::CdRom;
    case MediaKind::CdR:
    case MediaKind::BlankCdR:
        return profile::CdR;
    case MediaKind::CdRw:
    case MediaKind::BlankCdRw:
        return profile::CdRw;
    case MediaKind::DvdRom:
        return profile::DvdRom;
    case MediaKind::DvdR:
        return profile::DvdR;
    case MediaKind::DvdRw:
        // A DVD-RW in sequential recording, as one written like a DVD-R is.
        return profile::DvdRwSequential;
    case MediaKind::DvdPlusR:
        return profile::DvdPlusR;
    case MediaKind::DvdPlusRw:
        return profile::DvdPlusRw;
    case MediaKind::DvdRam:
        return profile::DvdRam;
    }
    return profile::None;
}

// The book type and part version byte of a DVD's physical format information.
std::uint8_t BookTypeByte(MediaKind kind)
{
    switch (kind) {
    case MediaKind::DvdRam:
        return 0x16; // book 1, version 6
    case MediaKind::DvdR:
        return 0x25; // book 2, version 5
    case MediaKind::DvdRw:
        return 0x32; // book 3, version 2
    case MediaKind::DvdPlusRw:
        return 0x92; // book 9, version 2
    case MediaKind::DvdPlusR:
        return 0xA1; // book 10, version 1
    default:
        return 0x01; // DVD-ROM, version 1
    }
}

// The layer type bits of byte 2: embossed, recordable or rewritable.
std::uint8_t LayerTypeOf(MediaKind kind)
{
    if (IsErasable(kind)) {
        return 0x04;
    }
    return kind == MediaKind::DvdRom ? 0x01 : 0x02;
}

// READ CD's byte 9 (main channel selection) and byte 10 (sub-channel), parsed.
struct Selection {
    std::uint8_t main = 0; // sync 0x80, header codes 0x60, user data 0x10, EDC/ECC 0x08
    std::size_t c2Size = 0;
    std::size_t subSize = 0;
    enum class Sub : std::uint8_t { None, RawPw, FormattedQ, Rw } sub = Sub::None;

    static constexpr std::uint8_t Sync = 0x80;
    static constexpr std::uint8_t SubHeader = 0x40;
    static constexpr std::uint8_t Header = 0x20;
    static constexpr std::uint8_t UserData = 0x10;
    static constexpr std::uint8_t EdcEcc = 0x08;
    static constexpr std::uint8_t AllMain = 0xF8;
    static constexpr std::size_t C2AndBlockErrorSize = 296; // the largest C2 field
    static constexpr std::size_t PwSize = 96;               // the largest sub-channel field

    // False for the combinations MMC's table of READ CD data fields marks
    // illegal: sync without the header, EDC/ECC with headers but no user data;
    // also the reserved C2 code and the reserved sub-channel codes.
    bool Parse(std::uint8_t byte9, std::uint8_t byte10)
    {
        main = byte9 & AllMain;
        if ((main & Sync) != 0 && (main & Header) == 0) {
            return false;
        }
        if ((main & EdcEcc) != 0 && (main & UserData) == 0 && (main & (Sync | Header | SubHeader)) != 0) {
            return false;
        }
        switch ((byte9 >> 1) & 0x03) {
        case 0:
            c2Size = 0;
            break;
        case 1:
            c2Size = 294; // C2 error bits
            break;
        case 2:
            c2Size = C2AndBlockErrorSize; // block error byte, pad byte, C2 error bits
            break;
        default:
            return false;
        }
        switch (byte10 & 0x07) {
        case 0:
            sub = Sub::None;
            subSize = 0;
            break;
        case 1:
            sub = Sub::RawPw; // one bit of each of P-W per byte
            subSize = PwSize;
            break;
        case 2:
            sub = Sub::FormattedQ;
            subSize = 16;
            break;
        case 4:
            sub = Sub::Rw; // R-W de-interleaved and corrected: 4 packs of 24
            subSize = PwSize;
            break;
        default:
            return false;
        }
        return true;
    }

    // Whether the main channel part is the whole raw sector as it stands.
    bool WholeRaw(bool audio) const { return audio ? (main & UserData) != 0 : main == AllMain; }

    // The selected fields of a sector of the given type, in the order READ CD returns them.
    struct Fields {
        std::array<std::pair<std::size_t, std::size_t>, 5> ranges{};
        std::size_t count = 0;
        std::size_t total = 0;

        void Add(std::size_t begin, std::size_t end)
        {
            if (end > begin) {
                ranges[count++] = {begin, end};
                total += end - begin;
            }
        }
    };

    Fields MainFields(synth::SectorType type) const
    {
        Fields out;
        if (type == synth::SectorType::Audio) {
            // A CD-DA block is all user data: the other fields do not exist.
            if ((main & UserData) != 0) {
                out.Add(0, synth::RawSectorSize);
            }
            return out;
        }
        const synth::Fields f = synth::FieldsOf(type);
        if ((main & Sync) != 0) {
            out.Add(0, synth::SyncSize);
        }
        if ((main & Header) != 0) {
            out.Add(synth::HeaderOffset, synth::HeaderOffset + 4);
        }
        if ((main & SubHeader) != 0) {
            out.Add(f.subHeader, f.subHeaderEnd);
        }
        if ((main & UserData) != 0) {
            out.Add(f.user, f.userEnd);
        }
        if ((main & EdcEcc) != 0) {
            out.Add(f.edcEcc, f.edcEccEnd);
        }
        return out;
    }
};

// The largest block READ CD gives: the raw sector, C2 with its block error byte, raw P-W.
constexpr std::size_t MaxCdBlock = synth::RawSectorSize + Selection::C2AndBlockErrorSize + Selection::PwSize;

constexpr std::size_t UserBlockSize = 2048;

} // namespace

struct EmulatedDrive::Impl {
    using Handler = Outcome (Impl::*)(const Request&);

    enum Flags : unsigned {
        NoFlags = 0,
        NeedsMedium = 1,   // answered only with a disc in the closed tray, spun up
        SkipsAttention = 2 // never reports a pending UNIT ATTENTION
    };

    // One row of the dispatch table.
    struct Entry {
        std::uint8_t opcode;
        const char* name;
        Handler handler;
        std::uint8_t allocationOffset; // where the command's allocation length is
        std::uint8_t allocationWidth;  // 0: none (the answer's own size rules), 1 or 2 bytes
        unsigned flags;
    };

    static const std::array<Entry, 18> Table;

    struct CommandFault {
        int remaining; // -1: always
        Sense sense;
    };
    struct Corruption {
        std::size_t offset;
        std::uint8_t mask;
    };

    mutable std::mutex mutex;
    std::shared_ptr<Clock> clock;
    DriveIdentity identity;

    std::shared_ptr<const Disc> disc;
    // The disc's tracks and sessions as served: control nibbles made consistent
    // with the modes, and a DVD given its one track and session if it has none.
    std::vector<Track> tracks;
    std::vector<Session> sessions;
    std::vector<std::uint8_t> cdTextPacks;
    bool cdTextReady = false;

    Tray tray = Tray::Closed;
    bool unitAttention = false;
    bool removalPrevented = false; // PREVENT ALLOW MEDIUM REMOVAL
    Clock::Duration spinUp{0};
    Clock::Duration readyAt{0};
    std::optional<ScsiResult> deferredSense; // the last CHECK CONDITION, for REQUEST SENSE
    std::uint8_t mediaEvent = media_event::NoChange;
    std::int32_t position = 0; // the last block read: READ SUB-CHANNEL's current position

    std::map<std::uint8_t, CommandFault> commandFaults;
    std::vector<std::pair<std::int32_t, std::int32_t>> badBlocks; // [first, end)
    std::multimap<std::int32_t, Corruption> corruptions;

    TimingModel timing;
    Clock::Duration modelled{0};
    std::uint64_t commands = 0;
    std::uint64_t sectors = 0;
    std::int64_t commandSectors = 0; // blocks the running command transferred

    // Reused by every command, so that reading allocates nothing per command.
    std::vector<std::uint8_t> answer;
    std::array<std::uint8_t, synth::RawSectorSize> rawScratch{};
    std::array<std::uint8_t, MaxCdBlock> blockScratch{};
    const Extent* cachedExtent = nullptr;

    Impl(std::shared_ptr<Clock> c, DriveIdentity id) : clock(std::move(c)), identity(std::move(id))
    {
        answer.reserve(4096);
    }

    // --- State changes ---

    void SetDisc(std::shared_ptr<const Disc> d)
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
            t.control = static_cast<std::uint8_t>((t.control & ~control::Data) |
                                                  (IsData(t.mode) ? control::Data : 0));
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
    void Loaded()
    {
        if (!disc) {
            return;
        }
        unitAttention = true;
        readyAt = clock->Now() + spinUp;
        mediaEvent = media_event::NewMedia;
    }

    void Charge(Clock::Duration d)
    {
        if (d.count() != 0) {
            clock->Advance(d);
            modelled += d;
        }
    }

    // --- Lookups ---

    const Track* TrackAt(std::int32_t lba) const
    {
        const auto after = std::upper_bound(tracks.begin(), tracks.end(), lba,
                                            [](std::int32_t v, const Track& t) { return v < t.pregapStart; });
        if (after == tracks.begin()) {
            return nullptr;
        }
        const Track& t = *(after - 1);
        return lba < t.end ? &t : nullptr;
    }

    const Track* FindTrack(std::uint8_t number) const
    {
        const auto it = std::ranges::find_if(tracks, [&](const Track& t) { return t.number == number; });
        return it == tracks.end() ? nullptr : &*it;
    }

    const Session* FindSession(std::uint8_t number) const
    {
        const auto it = std::ranges::find_if(sessions, [&](const Session& s) { return s.number == number; });
        return it == sessions.end() ? nullptr : &*it;
    }

    // Consecutive reads stay in one extent: look it up only when the block leaves it.
    const Extent* ExtentAt(std::int32_t lba)
    {
        if (cachedExtent == nullptr || lba < cachedExtent->start || lba >= cachedExtent->End()) {
            cachedExtent = disc->FindExtent(lba);
        }
        return cachedExtent;
    }

    // The track's size as a drive derives it from the TOC: up to the next track's
    // start in the same session, or to the session's lead-out.
    std::int32_t TrackSize(const Track& t) const
    {
        const auto it =
            std::ranges::find_if(tracks, [&](const Track& n) { return n.number == t.number + 1; });
        if (it != tracks.end() && it->session == t.session) {
            return it->start - t.start;
        }
        const Session* s = FindSession(t.session);
        return (s != nullptr ? s->leadOut : t.end) - t.start;
    }

    std::uint8_t FirstTrackOf(const Session& s) const
    {
        const auto it = std::ranges::find_if(tracks, [&](const Track& t) { return t.session == s.number; });
        return it == tracks.end() ? 0 : it->number;
    }

    const Track* LastTrackOf(const Session& s) const
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
    static std::uint8_t IndexAt(const Track& t, std::int32_t lba)
    {
        if (lba < t.start) {
            return 0;
        }
        const auto later = std::ranges::count_if(t.moreIndexes, [&](std::int32_t i) { return i <= lba; });
        return static_cast<std::uint8_t>(1 + later);
    }

    std::optional<Sense> MediumProblem() const
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

    bool MediumPresent() const { return disc != nullptr && tray == Tray::Closed; }

    std::optional<std::int32_t> FirstBadBlock(std::int32_t lba, std::int64_t count) const
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

    void Corrupt(std::int32_t lba, Bytes block) const
    {
        if (corruptions.empty()) {
            return;
        }
        const auto [from, to] = corruptions.equal_range(lba);
        for (auto it = from; it != to; ++it) {
            if (it->second.offset < block.size()) {
                block[it->second.offset] ^= it->second.mask;
            }
        }
    }

    const std::vector<std::uint8_t>& CdTextPacks()
    {
        if (!cdTextReady) {
            cdTextReady = true;
            if (!disc->cdTextPacks.empty()) {
                cdTextPacks = disc->cdTextPacks;
            } else if (!disc->cdText.empty() && !tracks.empty()) {
                cdTextPacks = cdtext::Encode(disc->cdText, tracks.front().number, tracks.back().number);
            }
        }
        return cdTextPacks;
    }

    // --- Answers ---

    // A zero-filled answer of n bytes in the reused buffer.
    Bytes Answer(std::size_t n)
    {
        answer.assign(n, 0);
        return Bytes(answer);
    }

    // The complete raw sector of a block, from its extent's bytes, with sync,
    // header and EDC/ECC made where the image holds only user data. False when
    // the source cannot deliver the bytes.
    bool LoadSector(std::int32_t lba, const Track& track, Bytes raw)
    {
        const bool audio = track.mode == TrackMode::Audio;
        const bool xa = IsXa(track.mode);
        const Extent* e = ExtentAt(lba);
        SectorFormat format = e != nullptr ? e->format : NaturalFormat(track.mode);
        // A data track's 2,352-byte blocks hold whole raw sectors (a cue sheet's
        // MODE1/2352 file, or zeros of a pregap).
        if (!audio && format == SectorFormat::Audio) {
            format = SectorFormat::Raw;
        }
        if (audio) {
            std::fill_n(raw.begin(), synth::RawSectorSize, std::uint8_t{0});
            if (e != nullptr) {
                const std::size_t n = std::min(BytesPerSector(format), synth::RawSectorSize);
                if (!e->source->Read(e->sourceSector + (lba - e->start), raw.first(n))) {
                    return false;
                }
            }
            return true;
        }
        const std::size_t offset = synth::PayloadOffset(format, xa);
        const std::size_t size = BytesPerSector(format);
        if (e == nullptr) {
            std::fill_n(raw.begin(), synth::RawSectorSize, std::uint8_t{0});
        } else if (!e->source->Read(e->sourceSector + (lba - e->start), raw.subspan(offset, size))) {
            return false;
        }
        synth::CompleteRawSector(format, xa, lba, raw);
        return true;
    }

    // Loads up to `count` audio blocks from `lba`, all in one track, with one call to
    // their source when they lie in one extent of whole 2,352-byte sectors: an image
    // file then costs one system call per command rather than one per block.
    // Returns how many were loaded into `raw` back to back; 0 leaves them to LoadSector.
    std::int32_t LoadAudioRun(std::int32_t lba, std::int64_t count, Bytes raw)
    {
        const Extent* e = ExtentAt(lba);
        if (e == nullptr || BytesPerSector(e->format) != synth::RawSectorSize) {
            return 0;
        }
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, e->End() - lba));
        if (n < 2) {
            return 0;
        }
        const auto size = static_cast<std::size_t>(n) * synth::RawSectorSize;
        if (!e->source->ReadSectors(e->sourceSector + (lba - e->start), static_cast<std::size_t>(n),
                                    raw.first(size))) {
            return 0; // read block by block, so the failure names the block
        }
        return n;
    }

    // A block's sub-channel as READ CD selects it. The disc carries no R-W data (no
    // CD-Text packs in the program area, no graphics), so R-W bits are zero; P is set
    // in the pause before a track (index 0), as a pressed disc has it.
    void SubChannel(std::int32_t lba, const Track& t, Selection::Sub kind, Bytes out) const
    {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        if (kind == Selection::Sub::FormattedQ) {
            FormattedQ(lba, t, out);
        } else if (kind == Selection::Sub::RawPw) {
            std::array<std::uint8_t, 16> q{};
            FormattedQ(lba, t, q);
            const bool pause = IndexAt(t, lba) == 0;
            for (std::size_t i = 0; i < 96; ++i) {
                const bool qBit = (q[i / 8] >> (7 - i % 8) & 1) != 0;
                out[i] = static_cast<std::uint8_t>((pause ? 0x80 : 0) | (qBit ? 0x40 : 0));
            }
        }
    }

    // The formatted Q sub-channel of a block: position (ADR 1), BCD, with its CRC.
    void FormattedQ(std::int32_t lba, const Track& t, Bytes q) const
    {
        q[0] = static_cast<std::uint8_t>(t.control << 4 | 0x01);
        q[1] = ToBcd(t.number);
        q[2] = ToBcd(IndexAt(t, lba));
        // In the pregap the relative time counts down to INDEX 01.
        const Msf relative = Msf::FromFrames(lba < t.start ? t.start - lba : lba - t.start);
        q[3] = ToBcd(relative.minute);
        q[4] = ToBcd(relative.second);
        q[5] = ToBcd(relative.frame);
        q[6] = 0;
        const Msf absolute = Msf::FromLba(lba);
        q[7] = ToBcd(absolute.minute);
        q[8] = ToBcd(absolute.second);
        q[9] = ToBcd(absolute.frame);
        PutBe16(q, 10, SubQCrc(q.first(10)));
        std::fill_n(q.begin() + 12, 4, std::uint8_t{0});
    }

    // --- The handlers ---

    Outcome TestUnitReady(const Request&) { return Outcome::Built(0); }

    Outcome RequestSense(const Request&)
    {
        // A pending UNIT ATTENTION is reported here as sense data (GOOD status)
        // and cleared; else the sense of the last failed command; else the state
        // of the medium, as a drive answers a host that polls with REQUEST SENSE.
        std::optional<Sense> s;
        if (unitAttention) {
            unitAttention = false;
            s = sense::MediumMayHaveChanged;
        } else if (deferredSense) {
            const ScsiResult r = *deferredSense;
            deferredSense.reset();
            Bytes a = Answer(ScsiResult::MaxSense);
            std::copy_n(r.sense.begin(), ScsiResult::MaxSense, a.begin());
            return Outcome::Built(a.size());
        } else {
            s = MediumProblem();
        }
        Bytes a = Answer(ScsiResult::MaxSense);
        a[0] = 0x70; // current error, fixed format
        a[7] = 10;   // additional sense length
        if (s) {
            a[2] = s->key;
            a[12] = s->asc;
            a[13] = s->ascq;
        }
        return Outcome::Built(a.size());
    }

    Outcome Inquiry(const Request& r)
    {
        if ((r.cdb[1] & 0x01) != 0 || r.cdb[2] != 0) {
            return Outcome::Fail(sense::InvalidField); // no vital product data pages
        }
        Bytes a = Answer(36);
        a[0] = 0x05;   // peripheral qualifier 0, device type 5: CD/DVD device
        a[1] = 0x80;   // RMB: removable medium
        a[2] = 0x05;   // version: SPC-3
        a[3] = 0x02;   // response data format 2
        a[4] = 36 - 5; // additional length
        PutPadded(a, 8, 8, identity.vendor);
        PutPadded(a, 16, 16, identity.product);
        PutPadded(a, 32, 4, identity.revision);
        return Outcome::Built(a.size());
    }

    // The host locks the tray while it uses the disc (Linux does when a program opens the
    // drive without O_NONBLOCK); an eject command then fails until it is unlocked.
    Outcome PreventAllowMediumRemoval(const Request& r)
    {
        removalPrevented = (r.cdb[4] & 0x01) != 0;
        return Outcome::Built(0);
    }

    // The drive reads at its one speed whatever is asked; drives that cannot honour a
    // speed also answer GOOD and keep their own.
    Outcome SetCdSpeed(const Request&) { return Outcome::Built(0); }

    Outcome StartStopUnit(const Request& r)
    {
        const std::uint8_t b4 = r.cdb[4];
        if ((b4 >> 4) != 0) {
            return Outcome::Built(0); // a power condition: accepted, nothing to model
        }
        const bool loej = (b4 & 0x02) != 0;
        const bool start = (b4 & 0x01) != 0;
        if (loej && !start && removalPrevented) {
            return Outcome::Fail(sense::MediumRemovalPrevented);
        }
        if (loej && !start) {
            if (tray == Tray::Closed) {
                tray = Tray::Open;
                if (disc) {
                    mediaEvent = media_event::MediaRemoval;
                }
            }
            return Outcome::Built(0);
        }
        if (loej && start) {
            if (tray == Tray::Open) {
                tray = Tray::Closed;
                Loaded();
            }
            return Outcome::Built(0);
        }
        if (start) {
            // Spinning up needs a disc in the closed tray; a drive still spinning up accepts it.
            if (tray == Tray::Open) {
                return Outcome::Fail(sense::TrayOpen);
            }
            if (!disc) {
                return Outcome::Fail(sense::MediumNotPresent);
            }
        }
        return Outcome::Built(0);
    }

    Outcome ModeSense(const Request& r)
    {
        const std::uint8_t pageControl = r.cdb[2] >> 6;
        const std::uint8_t page = r.cdb[2] & 0x3F;
        if (pageControl == 3) {
            return Outcome::Fail(sense::SavingNotSupported);
        }
        if ((page != 0x2A && page != 0x3F) || r.cdb[3] != 0) {
            return Outcome::Fail(sense::InvalidField);
        }
        constexpr std::size_t HeaderSize = 8; // mode parameter header (10), no block descriptors
        constexpr std::size_t PageSize = 32;  // bytes 0-31 of page 2Ah, no write speed descriptors
        Bytes a = Answer(HeaderSize + PageSize);
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2)); // mode data length
        Bytes p = a.subspan(HeaderSize);
        p[0] = 0x2A;                                    // PS 0, page code
        p[1] = static_cast<std::uint8_t>(PageSize - 2); // page length
        if (pageControl == 1) {
            return Outcome::Built(a.size()); // nothing is changeable
        }
        // Offsets of the CD/DVD capabilities and mechanical status page (MMC-3
        // layout; MMC-5 keeps the speed fields at the same offsets as obsolete
        // ones, and drive lists still read them there).
        p[2] = 0x3F;                          // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R, DVD-RAM
        p[3] = 0x00;                          // writes nothing
        p[4] = 0x71;                          // multi-session, Mode 2 form 2, form 1, audio play
        p[5] = 0x7F; // UPC, ISRC, C2 pointers, R-W de-interleaved, R-W, CD-DA stream accurate, CD-DA commands
        p[6] = static_cast<std::uint8_t>(0x29 | (removalPrevented ? 0x02 : 0)); // tray (001b); eject; lock, locked
        PutBe16(p, 8, identity.readMaximum);  // 8-9: maximum read speed, kB/s
        PutBe16(p, 10, 256);                  // 10-11: volume levels
        PutBe16(p, 12, 2048);                 // 12-13: buffer size, KB
        PutBe16(p, 14, identity.readCurrent); // 14-15: current read speed
        PutBe16(p, 18, identity.writeMaximum); // 18-19: maximum write speed
        PutBe16(p, 20, identity.writeCurrent); // 20-21: current write speed
        PutBe16(p, 28, identity.writeCurrent); // 28-29: current write speed selected
        return Outcome::Built(a.size());
    }

    Outcome ReadCapacity(const Request&)
    {
        Bytes a = Answer(8);
        PutBe32(a, 0, static_cast<std::uint32_t>(std::max(disc->capacity - 1, 0))); // last block address
        PutBe32(a, 4, UserBlockSize);                                               // block length
        return Outcome::Built(a.size());
    }

    // Checks the range of a read: the sense to fail with, if any.
    std::optional<Outcome> CheckRange(std::int64_t lba, std::int64_t count) const
    {
        if (lba < 0 || lba + count > disc->capacity) {
            return Outcome::Fail(sense::LbaOutOfRange);
        }
        if (const auto bad = FirstBadBlock(static_cast<std::int32_t>(lba), count)) {
            return Outcome::Fail(sense::UnrecoveredReadError, *bad);
        }
        return std::nullopt;
    }

    Outcome Read10(const Request& r)
    {
        const auto lba = static_cast<std::int32_t>(Be32(r.cdb, 2));
        const std::int64_t count = Be16(r.cdb, 7);
        if (count == 0) {
            return Outcome::Written(0);
        }
        if (auto failure = CheckRange(lba, count)) {
            return *failure;
        }
        const Bytes out = r.dataIn;
        std::size_t written = 0;
        for (std::int64_t i = 0; i < count; ++i) {
            const auto b = static_cast<std::int32_t>(lba + i);
            const Track* t = TrackAt(b);
            if (t == nullptr) {
                return Outcome::Fail(sense::LbaOutOfRange); // between sessions: no user area
            }
            if (t->mode == TrackMode::Audio) {
                return Outcome::Fail(sense::IllegalModeForTrack);
            }
            const bool fits = written + UserBlockSize <= out.size();
            Bytes block =
                fits ? out.subspan(written, UserBlockSize) : Bytes(blockScratch).first(UserBlockSize);
            const Extent* e = ExtentAt(b);
            if (e != nullptr &&
                (e->format == SectorFormat::Mode1Data || e->format == SectorFormat::Form1Data)) {
                if (!e->source->Read(e->sourceSector + (b - e->start), block)) {
                    return Outcome::Fail(sense::UnrecoveredReadError, b);
                }
            } else {
                if (!LoadSector(b, *t, rawScratch)) {
                    return Outcome::Fail(sense::UnrecoveredReadError, b);
                }
                const auto type = synth::TypeOfRaw(rawScratch, false, IsXa(t->mode));
                // 2,048-byte blocks exist only in Mode 1 and form 1 sectors.
                if (type != synth::SectorType::Mode1 && type != synth::SectorType::Mode2Form1) {
                    return Outcome::Fail(sense::IllegalModeForTrack);
                }
                std::ranges::copy(synth::UserData(rawScratch, type), block.begin());
            }
            Corrupt(b, block);
            if (!fits) {
                const std::size_t part = out.size() - written;
                std::copy_n(block.begin(), part, out.begin() + static_cast<std::ptrdiff_t>(written));
            }
            written += std::min(UserBlockSize, out.size() - written);
            position = b;
        }
        commandSectors += count;
        return Outcome::Written(static_cast<std::size_t>(count) * UserBlockSize);
    }

    Outcome ReadCd(const Request& r)
    {
        if (IsDvd(disc->media)) {
            return Outcome::Fail(sense::IllegalModeForTrack); // a DVD has no CD sectors
        }
        const std::uint8_t expectedCode = (r.cdb[1] >> 2) & 0x07;
        if (expectedCode > 5) {
            return Outcome::Fail(sense::InvalidField);
        }
        const auto expected = static_cast<synth::SectorType>(expectedCode);
        Selection sel;
        if (!sel.Parse(r.cdb[9], r.cdb[10])) {
            return Outcome::Fail(sense::InvalidField);
        }
        const auto lba = static_cast<std::int32_t>(Be32(r.cdb, 2));
        const std::int64_t count = Be24(r.cdb, 6);
        if (count == 0) {
            return Outcome::Written(0);
        }
        if (auto failure = CheckRange(lba, count)) {
            return *failure;
        }
        const Bytes out = r.dataIn;
        std::size_t written = 0;
        std::size_t full = 0;
        std::int32_t loadedEnd = lba; // blocks before this one are already in `out`
        for (std::int64_t i = 0; i < count; ++i) {
            const auto b = static_cast<std::int32_t>(lba + i);
            const Track* t = TrackAt(b);
            if (t == nullptr) {
                return Outcome::Fail(sense::LbaOutOfRange); // between sessions: no user area
            }
            const bool audio = t->mode == TrackMode::Audio;
            const bool xa = IsXa(t->mode);
            const std::size_t extras = sel.c2Size + sel.subSize;
            std::size_t mainSize = 0;
            std::size_t size = 0;
            Bytes block;
            synth::SectorType type{};
            const auto place = [&](std::size_t n) {
                size = n;
                return written + n <= out.size() ? out.subspan(written, n) : Bytes(blockScratch).first(n);
            };
            if (sel.WholeRaw(audio)) {
                // The usual case, audio extraction above all: the sector goes
                // straight into the caller's buffer.
                mainSize = synth::RawSectorSize;
                block = place(mainSize + extras);
                if (audio && extras == 0 && b >= loadedEnd) {
                    // Without C2 or Q bytes the blocks lie back to back in `out`.
                    const std::int64_t fit = static_cast<std::int64_t>((out.size() - written) / mainSize);
                    loadedEnd = b + LoadAudioRun(b, std::min<std::int64_t>({count - i, t->end - b, fit}),
                                                 out.subspan(written));
                }
                if (b >= loadedEnd && !LoadSector(b, *t, block.first(mainSize))) {
                    return Outcome::Fail(sense::UnrecoveredReadError, b);
                }
                type = synth::TypeOfRaw(block, audio, xa);
            } else {
                if (!LoadSector(b, *t, rawScratch)) {
                    return Outcome::Fail(sense::UnrecoveredReadError, b);
                }
                type = synth::TypeOfRaw(rawScratch, audio, xa);
                const Selection::Fields fields = sel.MainFields(type);
                mainSize = fields.total;
                block = place(mainSize + extras);
                std::size_t at = 0;
                for (std::size_t k = 0; k < fields.count; ++k) {
                    const auto [begin, end] = fields.ranges[k];
                    std::copy(rawScratch.begin() + static_cast<std::ptrdiff_t>(begin),
                              rawScratch.begin() + static_cast<std::ptrdiff_t>(end),
                              block.begin() + static_cast<std::ptrdiff_t>(at));
                    at += end - begin;
                }
            }
            if (expected != synth::SectorType::Any && type != expected) {
                return Outcome::Fail(sense::IllegalModeForTrack);
            }
            // No C2 errors: the error bits and the block error byte stay 0.
            std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(mainSize), sel.c2Size, std::uint8_t{0});
            if (sel.subSize != 0) {
                SubChannel(b, *t, sel.sub, block.subspan(mainSize + sel.c2Size, sel.subSize));
            }
            Corrupt(b, block);
            if (block.data() == blockScratch.data()) {
                const std::size_t part = std::min(size, out.size() - written);
                std::copy_n(block.begin(), part, out.begin() + static_cast<std::ptrdiff_t>(written));
            }
            written += std::min(size, out.size() - written);
            full += size;
            position = b;
        }
        commandSectors += count;
        return Outcome::Written(full);
    }

    Outcome ReadToc(const Request& r)
    {
        const bool msf = (r.cdb[1] & 0x02) != 0;
        std::uint8_t format = identity.tocFormatInControlByte ? 0 : r.cdb[2] & 0x0F;
        if (format == 0 && (r.cdb[9] >> 6) != 0) {
            format = r.cdb[9] >> 6; // the older place of the format, in the control byte
        }
        const std::uint8_t start = r.cdb[6];
        switch (format) {
        case 0:
            return TocFormat0(msf, start);
        case 1:
            return TocFormat1(msf);
        case 2:
            return TocFormat2(start);
        case 4:
            return TocAtip();
        case 5:
            return TocCdText();
        default:
            return Outcome::Fail(sense::InvalidField);
        }
    }

    Outcome TocFormat0(bool msf, std::uint8_t start)
    {
        if (tracks.empty()) {
            return Outcome::Fail(sense::InvalidField); // a blank disc has no TOC
        }
        constexpr std::uint8_t LeadOutNumber = 0xAA;
        const std::uint8_t first = std::max(start, tracks.front().number);
        if (start > tracks.back().number && start != LeadOutNumber) {
            return Outcome::Fail(sense::InvalidField);
        }
        const auto n = start == LeadOutNumber
                           ? std::size_t{0}
                           : static_cast<std::size_t>(std::ranges::count_if(
                                 tracks, [&](const Track& t) { return t.number >= first; }));
        Bytes a = Answer(4 + 8 * (n + 1));
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2));
        a[2] = tracks.front().number;
        a[3] = tracks.back().number;
        std::size_t off = 4;
        for (const Track& t : tracks) {
            if (start == LeadOutNumber || t.number < first) {
                continue;
            }
            a[off + 1] = static_cast<std::uint8_t>(0x10 | t.control); // ADR 1: position
            a[off + 2] = t.number;
            PutAddress(a, off + 4, t.start, msf);
            off += 8;
        }
        // The lead-out: the final session's, with the last track's control.
        a[off + 1] = static_cast<std::uint8_t>(0x10 | tracks.back().control);
        a[off + 2] = LeadOutNumber;
        PutAddress(a, off + 4, sessions.back().leadOut, msf);
        return Outcome::Built(a.size());
    }

    Outcome TocFormat1(bool msf)
    {
        if (tracks.empty()) {
            return Outcome::Fail(sense::InvalidField);
        }
        Bytes a = Answer(12);
        PutBe16(a, 0, 10);
        a[2] = sessions.front().number; // first complete session
        a[3] = sessions.back().number;  // last complete session
        const Track* first = FindTrack(FirstTrackOf(sessions.back()));
        if (first == nullptr) {
            first = &tracks.back();
        }
        a[5] = static_cast<std::uint8_t>(0x10 | first->control);
        a[6] = first->number; // first track in the last complete session
        PutAddress(a, 8, first->start, msf);
        return Outcome::Built(a.size());
    }

    static std::array<std::uint8_t, 3> Msf3(const Msf& m)
    {
        return {static_cast<std::uint8_t>(m.minute & 0xFF), static_cast<std::uint8_t>(m.second),
                static_cast<std::uint8_t>(m.frame)};
    }

    Outcome TocFormat2(std::uint8_t startSession)
    {
        if (tracks.empty() || IsDvd(disc->media)) {
            return Outcome::Fail(sense::InvalidField); // no lead-in TOC: blank CD, DVD
        }
        if (startSession > sessions.back().number) {
            return Outcome::Fail(sense::InvalidField);
        }
        const bool recordable = IsRecordableCd(disc->media);
        const bool open = disc->status != DiscStatus::Complete;
        std::vector<std::array<std::uint8_t, 11>> entries;
        const auto add = [&](std::uint8_t session, std::uint8_t adrControl, std::uint8_t point,
                             std::array<std::uint8_t, 3> time, std::array<std::uint8_t, 3> ptime,
                             std::uint8_t zero = 0) {
            // Session, ADR/control, TNO (0 in the lead-in), POINT, MIN SEC FRAME, ZERO, PMIN PSEC PFRAME.
            entries.push_back({session, adrControl, 0, point, time[0], time[1], time[2], zero, ptime[0],
                               ptime[1], ptime[2]});
        };
        for (std::size_t i = 0; i < sessions.size(); ++i) {
            const Session& s = sessions[i];
            if (s.number < startSession) {
                continue;
            }
            const Track* first = FindTrack(FirstTrackOf(s));
            const Track* last = LastTrackOf(s);
            if (first == nullptr || last == nullptr) {
                continue;
            }
            // Binary minute, second, frame, as MMC gives the full TOC.
            add(s.number, static_cast<std::uint8_t>(0x10 | first->control), 0xA0, {},
                {first->number, s.discType, 0});
            add(s.number, static_cast<std::uint8_t>(0x10 | last->control), 0xA1, {}, {last->number, 0, 0});
            add(s.number, static_cast<std::uint8_t>(0x10 | last->control), 0xA2, {},
                Msf3(Msf::FromLba(s.leadOut)));
            for (const Track& t : tracks) {
                if (t.session == s.number) {
                    add(s.number, static_cast<std::uint8_t>(0x10 | t.control), t.number, {},
                        Msf3(Msf::FromLba(t.start)));
                }
            }
            // B0 (ADR 5): where the next session's program area may start, and
            // the last possible lead-out. Every session but a closed last one has it.
            const bool lastSession = i + 1 == sessions.size();
            if (!lastSession || (recordable && open)) {
                const Track* following = lastSession ? nullptr : FindTrack(FirstTrackOf(sessions[i + 1]));
                const std::int32_t next =
                    following != nullptr ? following->pregapStart : s.leadOut + LeadOutBlocks + LeadInBlocks;
                const std::uint8_t pointers = recordable && i == 0 ? 2 : 1; // B0, and C0 in session 1
                add(s.number, 0x50, 0xB0, Msf3(Msf::FromLba(next)), Msf3(AtipLastLeadOut), pointers);
            }
            if (recordable && i == 0) {
                // C0 (ADR 5): writing power and application code of the ATIP, and its lead-in start.
                add(s.number, 0x50, 0xC0, {0x50, 0, 0}, Msf3(AtipLeadInStart));
            }
        }
        if (entries.empty()) {
            return Outcome::Fail(sense::InvalidField);
        }
        Bytes a = Answer(4 + 11 * entries.size());
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2));
        a[2] = sessions.front().number; // first complete session
        a[3] = sessions.back().number;  // last complete session
        for (std::size_t k = 0; k < entries.size(); ++k) {
            std::ranges::copy(entries[k], a.begin() + static_cast<std::ptrdiff_t>(4 + 11 * k));
        }
        return Outcome::Built(a.size());
    }

    Outcome TocAtip()
    {
        if (!IsRecordableCd(disc->media)) {
            return Outcome::Fail(sense::InvalidField); // pressed CDs and DVDs have no ATIP
        }
        Bytes a = Answer(28);
        PutBe16(a, 0, 26);
        a[4] = 0x50; // indicative target writing power 5, reference speed 0
        // Bit 7 always set; bit 6 the disc type: rewritable.
        a[6] = static_cast<std::uint8_t>(0x80 | (IsErasable(disc->media) ? 0x40 : 0x00));
        PutMsf3(a, 8, AtipLeadInStart);  // start time of the lead-in
        PutMsf3(a, 12, AtipLastLeadOut); // last possible start time of the lead-out
        return Outcome::Built(a.size());
    }

    Outcome TocCdText()
    {
        if (IsDvd(disc->media)) {
            return Outcome::Fail(sense::InvalidField);
        }
        const std::vector<std::uint8_t>& packs = CdTextPacks();
        if (packs.empty()) {
            return Outcome::Fail(sense::InvalidField);
        }
        Bytes a = Answer(4 + packs.size());
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2));
        std::ranges::copy(packs, a.begin() + 4);
        return Outcome::Built(a.size());
    }

    Outcome ReadSubChannel(const Request& r)
    {
        const bool msf = (r.cdb[1] & 0x02) != 0;
        const bool subQ = (r.cdb[2] & 0x40) != 0;
        const std::uint8_t format = r.cdb[3];
        if (format < 1 || format > 3) {
            return Outcome::Fail(sense::InvalidField);
        }
        const Track* t = nullptr;
        if (format == 3) {
            t = FindTrack(r.cdb[6]);
            if (t == nullptr) {
                return Outcome::Fail(sense::InvalidField);
            }
        }
        if (!subQ) {
            Bytes a = Answer(4);
            a[1] = 0x15; // audio status: none to report
            return Outcome::Built(a.size());
        }
        constexpr std::size_t Size[4] = {0, 16, 24, 24};
        Bytes a = Answer(Size[format]);
        a[1] = 0x15;
        PutBe16(a, 2, static_cast<std::uint16_t>(a.size() - 4));
        a[4] = format;
        if (format == 1) {
            // Current position: the last block read.
            const Track* at = TrackAt(position);
            if (at != nullptr) {
                a[5] = static_cast<std::uint8_t>(0x10 | at->control);
                a[6] = at->number;
                a[7] = IndexAt(*at, position);
                PutAddress(a, 8, position, msf);
                if (msf) {
                    const Msf rel = Msf::FromFrames(std::abs(position - at->start));
                    a[13] = static_cast<std::uint8_t>(rel.minute);
                    a[14] = static_cast<std::uint8_t>(rel.second);
                    a[15] = static_cast<std::uint8_t>(rel.frame);
                } else {
                    PutBe32(a, 12, static_cast<std::uint32_t>(position - at->start));
                }
            }
        } else if (format == 2) {
            if (disc->mcn.size() == 13) {
                a[8] = 0x80; // MCVAL
                PutPadded(a, 9, 13, disc->mcn);
            }
        } else {
            a[5] = static_cast<std::uint8_t>(0x30 | t->control); // ADR 3: ISRC
            a[6] = t->number;
            if (t->isrc.size() == 12) {
                a[8] = 0x80; // TCVAL
                PutPadded(a, 9, 12, t->isrc);
            }
        }
        return Outcome::Built(a.size());
    }

    Outcome ReadHeader(const Request& r)
    {
        const bool msf = (r.cdb[1] & 0x02) != 0;
        const auto lba = static_cast<std::int32_t>(Be32(r.cdb, 2));
        if (lba < 0 || lba >= disc->capacity) {
            return Outcome::Fail(sense::LbaOutOfRange);
        }
        const Track* t = TrackAt(lba);
        if (t == nullptr) {
            return Outcome::Fail(sense::LbaOutOfRange);
        }
        // An audio block has no header. MMC terminates READ HEADER of a CD-DA
        // block with ILLEGAL MODE FOR THIS TRACK; some drives answer mode 0
        // instead. We follow the standard, so a reader cannot take audio for data.
        if (t->mode == TrackMode::Audio) {
            return Outcome::Fail(sense::IllegalModeForTrack);
        }
        Bytes a = Answer(8);
        // A DVD block carries Mode 1's 2,048 bytes; its one track reports mode 1.
        a[0] = DataModeOf(t->mode);
        PutAddress(a, 4, lba, msf);
        return Outcome::Built(a.size());
    }

    Outcome ReadDiscInformation(const Request& r)
    {
        if ((r.cdb[1] & 0x07) != 0) {
            return Outcome::Fail(sense::InvalidField); // only standard disc information
        }
        const Disc& d = *disc;
        Bytes a = Answer(34);
        PutBe16(a, 0, 32);
        std::uint8_t status = static_cast<std::uint8_t>(d.status);
        std::uint8_t lastSessionState = d.status == DiscStatus::Complete ? 3 : 0; // complete / empty
        if (d.media == MediaKind::DvdRam) {
            status = 3; // random-access writable: "other"
            lastSessionState = 3;
        }
        a[2] = static_cast<std::uint8_t>((IsErasable(d.media) ? 0x10 : 0) | lastSessionState << 2 | status);
        const std::uint8_t last = tracks.empty() ? 0 : tracks.back().number;
        a[3] = tracks.empty() ? 1 : tracks.front().number;
        std::size_t sessionCount = sessions.size();
        std::uint8_t firstInLast = 1;
        std::uint8_t lastInLast = 1;
        if (d.status == DiscStatus::Complete && !sessions.empty()) {
            firstInLast = FirstTrackOf(sessions.back());
            lastInLast = last;
        } else if (d.status == DiscStatus::Incomplete) {
            // An appendable disc: the empty next session and its invisible track count.
            sessionCount += 1;
            firstInLast = static_cast<std::uint8_t>(last + 1);
            lastInLast = firstInLast;
        } else {
            sessionCount = 1;
        }
        a[4] = static_cast<std::uint8_t>(sessionCount);
        a[5] = firstInLast;
        a[6] = lastInLast;
        a[7] = 0x20; // URU: unrestricted use
        // The disc type of the A0 point. An Enhanced CD's data session makes the
        // whole disc CD-ROM XA, so a later session's type wins over CD-DA. DVDs: 0.
        std::uint8_t discType = 0x00;
        if (!IsDvd(d.media)) {
            for (const Session& s : sessions) {
                if (s.discType != 0x00) {
                    discType = s.discType;
                    break;
                }
            }
        }
        a[8] = discType;
        // Lead-in start of the next session and the last possible lead-out: on
        // a recordable CD still open to writing; else FFFFFFFFh.
        if (IsRecordableCd(d.media) && d.status != DiscStatus::Complete) {
            if (d.status == DiscStatus::Empty || sessions.empty()) {
                PutMsf3(a, 17, AtipLeadInStart);
            } else {
                PutAddress(a, 16, sessions.back().leadOut + LeadOutBlocks, true);
            }
            PutMsf3(a, 21, AtipLastLeadOut);
        } else {
            PutBe32(a, 16, 0xFFFFFFFF);
            PutBe32(a, 20, 0xFFFFFFFF);
        }
        return Outcome::Built(a.size());
    }

    Outcome ReadTrackInformation(const Request& r)
    {
        const std::uint8_t addressType = r.cdb[1] & 0x03;
        const std::uint32_t address = Be32(r.cdb, 2);
        const Track* t = nullptr;
        switch (addressType) {
        case 0: // the track holding a logical block
            t = TrackAt(static_cast<std::int32_t>(address));
            break;
        case 1: // a track number
            if (address <= 0xFF) {
                t = FindTrack(static_cast<std::uint8_t>(address));
                if (t == nullptr && IsInvisibleTrack(address)) {
                    return InvisibleTrackInformation();
                }
            }
            break;
        case 2: // the first track of a session
            if (address <= 0xFF) {
                t = FindTrack(FirstTrackOfSession(address));
            }
            break;
        default:
            break;
        }
        if (t == nullptr) {
            return Outcome::Fail(sense::InvalidField);
        }
        Bytes a = Answer(48);
        PutBe16(a, 0, 46);
        a[2] = t->number;  // track number, LSB
        a[3] = t->session; // session number, LSB
        a[5] = t->control; // track mode: the control nibble; damage and copy clear
        a[6] = DataModeOf(t->mode);
        PutBe32(a, 8, static_cast<std::uint32_t>(t->start));       // track start address
        PutBe32(a, 24, static_cast<std::uint32_t>(TrackSize(*t))); // track size
        return Outcome::Built(a.size());
    }

    std::uint8_t FirstTrackOfSession(std::uint32_t number) const
    {
        const Session* s = FindSession(static_cast<std::uint8_t>(number));
        return s == nullptr ? 0 : FirstTrackOf(*s);
    }

    // The track after the last on a recordable CD open to writing: where the next one will be written.
    bool IsInvisibleTrack(std::uint32_t number) const
    {
        if (!IsRecordableCd(disc->media) || disc->status == DiscStatus::Complete) {
            return false;
        }
        return number == (tracks.empty() ? 1u : tracks.back().number + 1u);
    }

    Outcome InvisibleTrackInformation()
    {
        const std::int32_t start =
            sessions.empty() || tracks.empty()
                ? 0
                : sessions.back().leadOut + LeadOutBlocks + LeadInBlocks + FirstPregapBlocks;
        Bytes a = Answer(48);
        PutBe16(a, 0, 46);
        a[2] = static_cast<std::uint8_t>(tracks.empty() ? 1 : tracks.back().number + 1);
        a[3] = static_cast<std::uint8_t>(tracks.empty() ? 1 : sessions.size() + 1);
        a[6] = 0x40 | 0x0F; // blank; data mode unknown yet
        a[7] = 0x01;        // NWA_V: the next writable address is valid
        PutBe32(a, 8, static_cast<std::uint32_t>(start));
        PutBe32(a, 12, static_cast<std::uint32_t>(start)); // next writable address
        const std::int32_t free = std::max(AtipLastLeadOut.ToLba() - start, 0);
        PutBe32(a, 16, static_cast<std::uint32_t>(free)); // free blocks
        PutBe32(a, 24, static_cast<std::uint32_t>(free)); // track size
        return Outcome::Built(a.size());
    }

    Outcome ReadDiscStructure(const Request& r)
    {
        if (!IsDvd(disc->media)) {
            return Outcome::Fail(sense::IncompatibleFormat);
        }
        const std::uint8_t mediaType = r.cdb[1] & 0x0F;
        const std::uint8_t layer = r.cdb[6];
        const std::uint8_t format = r.cdb[7];
        if (mediaType != 0) {
            return Outcome::Fail(sense::InvalidField);
        }
        if (format == 0x00) {
            if (layer >= std::max<std::uint8_t>(disc->layers, 1)) {
                return Outcome::Fail(sense::InvalidField);
            }
            return PhysicalFormat();
        }
        if (format == 0x01) {
            Bytes a = Answer(8);
            PutBe16(a, 0, 6);
            a[4] = 0x00; // copy protection system: none
            // Region management information: bit n set means not playable in region n + 1.
            a[5] = static_cast<std::uint8_t>(~disc->regions);
            return Outcome::Built(a.size());
        }
        return Outcome::Fail(sense::InvalidField);
    }

    Outcome PhysicalFormat()
    {
        constexpr std::uint32_t DataAreaStart = 0x030000; // physical sector number of LBA 0
        constexpr std::int32_t EccBlock = 16;
        const Disc& d = *disc;
        const bool dual = d.layers >= 2;
        Bytes a = Answer(4 + 2048);
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2));
        Bytes s = a.subspan(4);
        s[0] = BookTypeByte(d.media);
        s[1] = d.media == MediaKind::DvdRom ? 0x02 : 0x0F; // 120 mm; maximum rate 10.08 Mbps, or unspecified
        // Layers - 1 in bits 5-6; opposite track path on two layers; the layer type.
        s[2] = static_cast<std::uint8_t>((std::min<std::uint8_t>(d.layers, 4) - 1) << 5 | (dual ? 0x10 : 0) |
                                         LayerTypeOf(d.media));
        s[3] = dual ? 0x10 : 0x00; // linear density 0.293 or 0.267 um/bit, track pitch 0.74 um
        const std::int32_t capacity = std::max(d.capacity, 1);
        if (!dual) {
            PutBe32(s, 4, DataAreaStart);
            PutBe32(s, 8, DataAreaStart + static_cast<std::uint32_t>(capacity) - 1);
            PutBe32(s, 12, 0); // end sector in layer 0: not used on one layer
        } else {
            // The disc has no recorded layer break: layer 0 takes the first half,
            // in whole ECC blocks. Layer 1 runs outward from the complement of
            // layer 0's last sector number (opposite track path).
            const std::int32_t layer0 = (capacity / 2 + EccBlock - 1) / EccBlock * EccBlock;
            const std::uint32_t layer0End = DataAreaStart + static_cast<std::uint32_t>(layer0) - 1;
            const std::uint32_t layer1Start = ~layer0End & 0xFFFFFF;
            PutBe32(s, 4, DataAreaStart);
            PutBe32(s, 8, layer1Start + static_cast<std::uint32_t>(capacity - layer0) - 1);
            PutBe32(s, 12, layer0End);
        }
        return Outcome::Built(a.size());
    }

    Outcome GetConfiguration(const Request& r)
    {
        const std::uint8_t rt = r.cdb[1] & 0x03;
        const std::uint16_t startFeature = Be16(r.cdb, 2);
        if (rt == 3) {
            return Outcome::Fail(sense::InvalidField);
        }
        const std::uint16_t current = MediumPresent() ? ProfileOf(disc->media) : profile::None;
        const bool cd = current >= profile::CdRom && current <= profile::CdRw;
        const bool dvd = current >= profile::DvdRom && current <= profile::DvdPlusR;

        struct Feature {
            std::uint16_t code;
            bool current;
            std::size_t size; // with its 4-byte header
        };
        const std::array<Feature, 4> features{{
            {0x0000, true, 4 + 4 * profile::Supported.size()}, // profile list
            {0x0001, true, 12},                                // core
            {0x001E, cd, 8},                                   // CD read
            {0x001F, dvd, 4},                                  // DVD read
        }};
        const auto wanted = [&](const Feature& f) {
            switch (rt) {
            case 0:
                return f.code >= startFeature;
            case 1:
                return f.code >= startFeature && f.current;
            default:
                return f.code == startFeature;
            }
        };
        std::size_t size = 8;
        for (const Feature& f : features) {
            size += wanted(f) ? f.size : 0;
        }
        Bytes a = Answer(size);
        PutBe32(a, 0, static_cast<std::uint32_t>(size - 4)); // data length
        PutBe16(a, 6, current);                              // current profile
        std::size_t off = 8;
        for (const Feature& f : features) {
            if (!wanted(f)) {
                continue;
            }
            PutBe16(a, off, f.code);
            a[off + 3] = static_cast<std::uint8_t>(f.size - 4); // additional length
            switch (f.code) {
            case 0x0000:
                a[off + 2] = 0x03; // version 0, persistent, current
                for (std::size_t k = 0; k < profile::Supported.size(); ++k) {
                    PutBe16(a, off + 4 + 4 * k, profile::Supported[k]);
                    a[off + 6 + 4 * k] = profile::Supported[k] == current ? 0x01 : 0x00; // current profile
                }
                break;
            case 0x0001:
                a[off + 2] = 0x0B;         // version 2, persistent, current
                PutBe32(a, off + 4, 0x02); // physical interface: ATAPI
                break;
            case 0x001E:
                a[off + 2] = static_cast<std::uint8_t>(0x08 | (f.current ? 1 : 0)); // version 2
                a[off + 4] = 0x03;                                                  // C2 flags, CD-Text
                break;
            default:
                a[off + 2] = static_cast<std::uint8_t>(f.current ? 1 : 0); // version 0
                break;
            }
            off += f.size;
        }
        return Outcome::Built(a.size());
    }

    Outcome GetEventStatusNotification(const Request& r)
    {
        if ((r.cdb[1] & 0x01) == 0) {
            return Outcome::Fail(sense::InvalidField); // only polled operation
        }
        constexpr std::uint8_t MediaClassBit = 0x10;
        const bool wantsMedia = (r.cdb[4] & MediaClassBit) != 0;
        Bytes a = Answer(wantsMedia ? 8 : 4);
        PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2)); // event data length
        a[3] = MediaClassBit;                                    // supported classes: media
        if (!wantsMedia) {
            a[2] = 0x80; // NEA: no event of the requested classes
            return Outcome::Built(a.size());
        }
        a[2] = 0x04; // notification class: media
        a[4] = mediaEvent;
        mediaEvent = media_event::NoChange;
        a[5] = static_cast<std::uint8_t>((disc ? 0x02 : 0x00) | (tray == Tray::Open ? 0x01 : 0x00));
        return Outcome::Built(a.size());
    }

    // --- The shared steps ---

    static const Entry* Find(std::uint8_t opcode)
    {
        const auto it = std::ranges::find_if(Table, [&](const Entry& e) { return e.opcode == opcode; });
        return it == Table.end() ? nullptr : &*it;
    }

    ScsiResult Failed(Sense s, std::optional<std::int32_t> information, Bytes dataIn)
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

    ScsiResult Dispatch(ConstBytes cdb, Bytes dataIn)
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

    ScsiResult Execute(ConstBytes cdb, Bytes dataIn)
    {
        std::lock_guard lock(mutex);
        ++commands;
        commandSectors = 0;
        ScsiResult result = Dispatch(cdb, dataIn);
        sectors += static_cast<std::uint64_t>(commandSectors);
        Charge(timing.perCommand + timing.perSector * commandSectors);
        return result;
    }
};

// The commands the drive answers. Allocation lengths: INQUIRY's is 16 bits at
// bytes 3-4 (SPC-3), REQUEST SENSE's byte 4, READ DISC STRUCTURE's bytes 8-9,
// the others' bytes 7-8; READ CAPACITY, READ(10) and READ CD have none.
const std::array<EmulatedDrive::Impl::Entry, 18> EmulatedDrive::Impl::Table{{
    {op::TestUnitReady, "TEST UNIT READY", &Impl::TestUnitReady, 0, 0, NeedsMedium},
    {op::RequestSense, "REQUEST SENSE", &Impl::RequestSense, 4, 1, SkipsAttention},
    {op::Inquiry, "INQUIRY", &Impl::Inquiry, 3, 2, SkipsAttention},
    {op::StartStopUnit, "START STOP UNIT", &Impl::StartStopUnit, 0, 0, NoFlags},
    {op::PreventAllowMediumRemoval, "PREVENT ALLOW MEDIUM REMOVAL", &Impl::PreventAllowMediumRemoval, 0, 0, NoFlags},
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

void EmulatedDrive::ClearFaults()
{
    std::lock_guard lock(impl_->mutex);
    impl_->commandFaults.clear();
    impl_->badBlocks.clear();
    impl_->corruptions.clear();
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
