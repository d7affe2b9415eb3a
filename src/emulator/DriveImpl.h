#pragma once

// The emulated drive's inner state and its command handlers, shared by the
// files that answer each family of commands. Not part of the public API.

#include "emulator/EmulatedDrive.h"

#include "device/platform/ScsiOpcodes.h"
#include "emulator/SectorSynth.h"
#include "util/ByteOrder.h"
#include "util/Msf.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace tolvane::emulator {

namespace drive_detail {

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

// An address field of 4 bytes: a logical block address, or 0, minute, second,
// frame (binary). A DVD's address can pass 255 minutes; its minute byte then
// holds the minute modulo 256, as drives give it.
inline void PutAddress(Bytes b, std::size_t off, std::int32_t lba, bool msf)
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
inline void PutMsf3(Bytes b, std::size_t off, const Msf& m)
{
    b[off] = static_cast<std::uint8_t>(m.minute & 0xFF);
    b[off + 1] = static_cast<std::uint8_t>(m.second);
    b[off + 2] = static_cast<std::uint8_t>(m.frame);
}

inline void PutPadded(Bytes b, std::size_t off, std::size_t width, const std::string& text)
{
    for (std::size_t i = 0; i < width; ++i) {
        b[off + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
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

} // namespace drive_detail

using namespace drive_detail;

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

    ReadModel readModel;
    struct Damaged {
        Damage damage;
        std::uint64_t seed;
        std::uint32_t reads = 0; // reads from the disc so far
    };
    std::map<std::int32_t, Damaged> damaged;
    // The blocks the read cache holds, [cacheStart, cacheEnd), in disc addresses.
    std::int32_t cacheStart = 0;
    std::int32_t cacheEnd = 0;
    // The C2 error bits of the block ModelAudio made last.
    std::array<std::uint8_t, 294> c2Bits{};
    bool c2Set = false;
    std::int32_t blockCost = 1; // disc blocks the last block made took (cache hits take none)

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

    void SetDisc(std::shared_ptr<const Disc> d);

    // The tray closes on a disc: the drive reports the change and spins up.
    void Loaded();

    void Charge(Clock::Duration d);

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

    const Track* FindTrack(std::uint8_t number) const;

    const Session* FindSession(std::uint8_t number) const;

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
    std::int32_t TrackSize(const Track& t) const;

    std::uint8_t FirstTrackOf(const Session& s) const;

    const Track* LastTrackOf(const Session& s) const;

    // The index of a block within its track: 0 in the pregap, then 1, 2 ...
    static std::uint8_t IndexAt(const Track& t, std::int32_t lba);

    std::optional<Sense> MediumProblem() const;

    bool MediumPresent() const { return disc != nullptr && tray == Tray::Closed; }

    std::optional<std::int32_t> FirstBadBlock(std::int32_t lba, std::int64_t count) const;

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

    const std::vector<std::uint8_t>& CdTextPacks();

    // Whether audio reads go through ModelAudio rather than straight from the image.
    bool Modelled() const { return readModel.offset != 0 || readModel.cacheSectors > 0 || !damaged.empty(); }

    // An audio block as a drive with the read model gives it: shifted by the read offset,
    // scratched blocks read right or wrong (their C2 bits in c2Bits), from the cache where it
    // holds them. Returns the blocks read from the disc (what costs time), or -1 for a read that
    // failed.
    std::int32_t ModelAudio(std::int32_t lba, Bytes main);

    // One disc block's audio as the model reads it, from the cache or the disc, damaged or not.
    struct DiscRead {
        bool ok = true;
        bool fromDisc = false;
        std::size_t flaggedFrom = 0; // the bytes the C2 pointers flag, [from, to)
        std::size_t flaggedTo = 0;
    };
    DiscRead ModelDiscBlock(std::int32_t lba, Bytes raw);

    // Whether the read model lets READ CD reach block `lba` outside the tracks.
    bool Overreads(std::int64_t lba) const;

    // The audio track an overread outside the tracks belongs to: the one before it, or the first.
    const Track* NearestAudioTrack(std::int32_t lba) const
    {
        const Track* nearest = nullptr;
        for (const Track& t : tracks) {
            if (nearest == nullptr || t.pregapStart <= lba) {
                nearest = &t;
            }
        }
        return nearest != nullptr && nearest->mode == TrackMode::Audio ? nearest : nullptr;
    }

    // A block's C2 field: the error bits of the block ModelAudio made, else none; the 296-byte
    // form leads with the block error byte (the OR of all the bits) and a pad byte.
    void C2Field(Bytes field) const
    {
        std::fill(field.begin(), field.end(), std::uint8_t{0});
        if (!c2Set || field.empty()) {
            return;
        }
        const std::size_t bits = field.size() - c2Bits.size();
        std::copy(c2Bits.begin(), c2Bits.end(), field.begin() + static_cast<std::ptrdiff_t>(bits));
        if (bits != 0) {
            field[0] = std::accumulate(
                c2Bits.begin(), c2Bits.end(), std::uint8_t{0},
                [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a | b); });
        }
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
    bool LoadSector(std::int32_t lba, const Track& track, Bytes raw);

    // Loads up to `count` audio blocks from `lba`, all in one track, with one call to
    // their source when they lie in one extent of whole 2,352-byte sectors: an image
    // file then costs one system call per command rather than one per block.
    // Returns how many were loaded into `raw` back to back; 0 leaves them to LoadSector.
    std::int32_t LoadAudioRun(std::int32_t lba, std::int64_t count, Bytes raw);

    // A block's sub-channel as READ CD selects it. The disc carries no R-W data (no
    // CD-Text packs in the program area, no graphics), so R-W bits are zero; P is set
    // in the pause before a track (index 0), as a pressed disc has it.
    void SubChannel(std::int32_t lba, const Track& t, Selection::Sub kind, Bytes out) const;

    // The formatted Q sub-channel of a block: position (ADR 1), BCD, with its CRC.
    void FormattedQ(std::int32_t lba, const Track& t, Bytes q) const;

    // --- The handlers ---

    Outcome TestUnitReady(const Request&);

    Outcome RequestSense(const Request&);

    Outcome Inquiry(const Request& r);

    // The host locks the tray while it uses the disc (Linux does when a program opens the
    // drive without O_NONBLOCK); an eject command then fails until it is unlocked.
    Outcome PreventAllowMediumRemoval(const Request& r);

    // The drive reads at its one speed whatever is asked; drives that cannot honour a
    // speed also answer GOOD and keep their own.
    Outcome SetCdSpeed(const Request&);

    Outcome StartStopUnit(const Request& r);

    Outcome ModeSense(const Request& r);

    Outcome ReadCapacity(const Request&);

    // Checks the range of a read: the sense to fail with, if any.
    std::optional<Outcome> CheckRange(std::int64_t lba, std::int64_t count) const;

    // --- Sector reads ---

    // A block of a read as the run loop hands it to the command's main channel.
    struct Block {
        std::int32_t lba;
        const Track& track;
        std::int64_t left; // blocks of the command from this one on
    };

    // How a read command forms each block's main channel bytes; the run loop adds
    // the C2 and sub-channel bytes after them.
    struct MainChannel {
        virtual ~MainChannel() = default;
        // Readies a block: the size of its main channel bytes, or the failure that ends the command.
        virtual std::optional<Outcome> Prepare(const Block& at, std::size_t& size) = 0;
        // Writes the block's main channel bytes into `main`. `ahead` is the caller's buffer
        // from this block on, for sources that load several blocks at once.
        virtual std::optional<Outcome> Fill(const Block& at, Bytes main, Bytes ahead) = 0;
    };
    struct UserDataChannel;
    struct CdChannel;

    // A run of `count` blocks from `lba` into `out`, with the C2 and sub-channel
    // bytes `extras` selects.
    Outcome ReadRun(std::int32_t lba, std::int64_t count, const Selection& extras, Bytes out,
                    MainChannel& main);

    Outcome Read10(const Request& r);

    Outcome ReadCd(const Request& r);

    Outcome ReadToc(const Request& r);

    Outcome TocFormat0(bool msf, std::uint8_t start);

    Outcome TocFormat1(bool msf);

    static std::array<std::uint8_t, 3> Msf3(const Msf& m);

    Outcome TocFormat2(std::uint8_t startSession);

    Outcome TocAtip();

    Outcome TocCdText();

    Outcome ReadSubChannel(const Request& r);

    Outcome ReadHeader(const Request& r);

    Outcome ReadDiscInformation(const Request& r);

    Outcome ReadTrackInformation(const Request& r);

    std::uint8_t FirstTrackOfSession(std::uint32_t number) const;

    // The track after the last on a recordable CD open to writing: where the next one will be written.
    bool IsInvisibleTrack(std::uint32_t number) const;

    Outcome InvisibleTrackInformation();

    Outcome ReadDiscStructure(const Request& r);

    Outcome PhysicalFormat();

    Outcome GetConfiguration(const Request& r);

    Outcome GetEventStatusNotification(const Request& r);

    // --- The shared steps ---

    static const Entry* Find(std::uint8_t opcode)
    {
        const auto it = std::ranges::find_if(Table, [&](const Entry& e) { return e.opcode == opcode; });
        return it == Table.end() ? nullptr : &*it;
    }

    ScsiResult Failed(Sense s, std::optional<std::int32_t> information, Bytes dataIn);

    ScsiResult Dispatch(ConstBytes cdb, Bytes dataIn);

    ScsiResult Execute(ConstBytes cdb, Bytes dataIn);
};

} // namespace tolvane::emulator
