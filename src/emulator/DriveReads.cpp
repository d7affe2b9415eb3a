#include "emulator/DriveImpl.h"

#include "util/AudioBlocks.h"

namespace tolvane::emulator {

namespace {

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

} // namespace

// The complete raw sector of a block, from its extent's bytes, with sync,
// header and EDC/ECC made where the image holds only user data. False when
// the source cannot deliver the bytes.
bool EmulatedDrive::Impl::LoadSector(std::int32_t lba, const Track& track, Bytes raw)
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

namespace {

// A well-mixed 64-bit value of its inputs (splitmix64's finaliser), for damage that repeats.
std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
    return x ^ (x >> 31);
}

using audio::FloorDiv;
using audio::SamplesPerBlock;
// How far an overreading drive reaches past the disc's ends.
constexpr std::int32_t OverreadReach = 150;

} // namespace

bool EmulatedDrive::Impl::Overreads(std::int64_t lba) const
{
    return readModel.overread && lba >= -OverreadReach && lba < disc->capacity + OverreadReach;
}

EmulatedDrive::Impl::DiscRead EmulatedDrive::Impl::ModelDiscBlock(std::int32_t lba, Bytes raw)
{
    DiscRead read;
    // The cache holds one run of blocks, the last ones read from the disc; a read elsewhere
    // starts a new run, as a drive's read-ahead buffer does.
    const bool cached = lba >= cacheStart && lba < cacheEnd;
    if (!cached) {
        read.fromDisc = true;
        if (lba == cacheEnd && cacheEnd > cacheStart) {
            ++cacheEnd;
        } else {
            cacheStart = lba;
            cacheEnd = lba + 1;
        }
        // Even without a cache the drive holds the blocks of the command it is answering.
        cacheStart = std::max(cacheStart, cacheEnd - std::max(readModel.cacheSectors, 2));
    }
    const Track* t = TrackAt(lba);
    if (t == nullptr || t->mode != TrackMode::Audio) {
        // The lead-in, the lead-out and the gap between sessions play as silence; so do the
        // neighbouring data blocks, which a real drive would give scrambled.
        std::fill(raw.begin(), raw.end(), std::uint8_t{0});
        return read;
    }
    if (!LoadSector(lba, *t, raw)) {
        read.ok = false;
        return read;
    }
    const auto it = damaged.find(lba);
    if (it == damaged.end()) {
        return read;
    }
    Damaged& d = it->second;
    if (read.fromDisc || d.reads == 0) {
        ++d.reads; // a cached block answers as it was last read
    }
    const std::uint64_t block = Mix(d.seed ^ Mix(static_cast<std::uint64_t>(lba)));
    const double roll = static_cast<double>(Mix(block ^ d.reads) >> 11) * 0x1.0p-53;
    if (roll < d.damage.readsRight) {
        return read;
    }
    if (d.damage.fails) {
        read.ok = false;
        return read;
    }
    // The scratch spoils a run of bytes fixed for the block; what they read as varies unless
    // the damage gives the same wrong bytes each time.
    const std::size_t from = (block % synth::RawSectorSize) & ~std::size_t{1};
    const std::size_t to = std::min(synth::RawSectorSize, from + 2 + 2 * ((block >> 16) % 100));
    std::uint64_t noise = Mix(block ^ (d.damage.sameWrong ? 0 : 0x5A5A0000ULL + d.reads));
    for (std::size_t i = from; i < to; ++i) {
        noise = Mix(noise);
        raw[i] ^= static_cast<std::uint8_t>(1 + noise % 255);
    }
    if (d.damage.flagged) {
        read.flaggedFrom = from;
        read.flaggedTo = to;
    }
    return read;
}

std::int32_t EmulatedDrive::Impl::ModelAudio(std::int32_t lba, Bytes main)
{
    // The drive's offset moves the block's samples across the disc's block edges: the block
    // is made of the end of one disc block and the start of the next.
    const std::int64_t first = std::int64_t{lba} * SamplesPerBlock - readModel.offset;
    const std::int64_t disc0 = FloorDiv(first, SamplesPerBlock);
    const auto skip = static_cast<std::size_t>(first - disc0 * SamplesPerBlock) * 4;
    std::array<std::uint8_t, 2 * synth::RawSectorSize> two;
    std::int32_t cost = 0;
    c2Set = false;
    for (std::size_t k = 0; k < (skip == 0 ? 1U : 2U); ++k) {
        const auto at = static_cast<std::int32_t>(disc0 + static_cast<std::int64_t>(k));
        const DiscRead read =
            ModelDiscBlock(at, Bytes(two).subspan(k * synth::RawSectorSize, synth::RawSectorSize));
        if (!read.ok) {
            return -1;
        }
        cost += read.fromDisc ? 1 : 0;
        // The flagged bytes that land in this block, one C2 bit each, the first byte's the top bit.
        const std::size_t begin = std::max(k * synth::RawSectorSize + read.flaggedFrom, skip);
        const std::size_t end =
            std::min(k * synth::RawSectorSize + read.flaggedTo, skip + synth::RawSectorSize);
        if (begin < end && !c2Set) {
            c2Bits.fill(0);
            c2Set = true;
        }
        for (std::size_t i = begin; i < end; ++i) {
            c2Bits[(i - skip) / 8] |= static_cast<std::uint8_t>(0x80 >> ((i - skip) % 8));
        }
    }
    std::copy_n(two.begin() + static_cast<std::ptrdiff_t>(skip), synth::RawSectorSize, main.begin());
    return cost;
}

// Loads up to `count` audio blocks from `lba`, all in one track, with one call to
// their source when they lie in one extent of whole 2,352-byte sectors: an image
// file then costs one system call per command rather than one per block.
// Returns how many were loaded into `raw` back to back; 0 leaves them to LoadSector.
std::int32_t EmulatedDrive::Impl::LoadAudioRun(std::int32_t lba, std::int64_t count, Bytes raw)
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

// Checks the range of a read: the sense to fail with, if any.
std::optional<Outcome> EmulatedDrive::Impl::CheckRange(std::int64_t lba, std::int64_t count) const
{
    if ((lba < 0 || lba + count > disc->capacity) &&
        !(count > 0 && Overreads(lba) && Overreads(lba + count - 1))) {
        return Outcome::Fail(sense::LbaOutOfRange);
    }
    if (const auto bad = FirstBadBlock(static_cast<std::int32_t>(lba), count)) {
        return Outcome::Fail(sense::UnrecoveredReadError, *bad);
    }
    return std::nullopt;
}

// The one place a run of blocks is produced, for every read command: per block
// the main channel bytes, then C2's, then the sub-channel's. A block that would
// pass the end of the caller's buffer is built aside and cut there; the answer's
// length stays that of the whole run.
Outcome EmulatedDrive::Impl::ReadRun(std::int32_t lba, std::int64_t count, const Selection& extras, Bytes out,
                                     MainChannel& main)
{
    if (count == 0) {
        return Outcome::Written(0);
    }
    if (auto failure = CheckRange(lba, count)) {
        return *failure;
    }
    std::size_t written = 0;  // bytes of `out` filled
    std::size_t full = 0;     // bytes of the run, as if `out` had room for all of it
    std::int64_t charged = 0; // blocks read from the disc
    if (readModel.cacheSectors == 0) {
        cacheEnd = cacheStart; // nothing stays from the last command
    }
    for (std::int64_t i = 0; i < count; ++i) {
        const auto b = static_cast<std::int32_t>(lba + i);
        const Track* t = TrackAt(b);
        if (t == nullptr && Overreads(b)) {
            t = NearestAudioTrack(b); // the lead-in, the lead-out, or between sessions
        }
        if (t == nullptr) {
            return Outcome::Fail(sense::LbaOutOfRange); // between sessions: no user area
        }
        const Block at{b, *t, count - i};
        std::size_t mainSize = 0;
        if (auto failure = main.Prepare(at, mainSize)) {
            return *failure;
        }
        const std::size_t size = mainSize + extras.c2Size + extras.subSize;
        const bool fits = written + size <= out.size();
        const Bytes block = fits ? out.subspan(written, size) : Bytes(blockScratch).first(size);
        c2Set = false;
        blockCost = 1;
        if (auto failure = main.Fill(at, block.first(mainSize), out.subspan(written))) {
            return *failure;
        }
        charged += blockCost;
        C2Field(block.subspan(mainSize, extras.c2Size));
        if (extras.subSize != 0) {
            SubChannel(b, *t, extras.sub, block.subspan(mainSize + extras.c2Size, extras.subSize));
        }
        Corrupt(b, block);
        const std::size_t kept = std::min(size, out.size() - written);
        if (!fits) {
            std::copy_n(block.begin(), kept, out.begin() + static_cast<std::ptrdiff_t>(written));
        }
        written += kept;
        full += size;
        position = b;
    }
    commandSectors += charged;
    return Outcome::Written(full);
}

// READ(10)'s blocks: the 2,048 user bytes of Mode 1 and form 1 sectors, straight
// from the image where it holds just those.
struct EmulatedDrive::Impl::UserDataChannel final : MainChannel {
    Impl& drive;
    const Extent* direct = nullptr;
    synth::SectorType type{};

    explicit UserDataChannel(Impl& d) : drive(d) {}

    std::optional<Outcome> Prepare(const Block& at, std::size_t& size) override
    {
        if (at.track.mode == TrackMode::Audio) {
            return Outcome::Fail(sense::IllegalModeForTrack);
        }
        size = UserBlockSize;
        const Extent* e = drive.ExtentAt(at.lba);
        direct =
            e != nullptr && (e->format == SectorFormat::Mode1Data || e->format == SectorFormat::Form1Data)
                ? e
                : nullptr;
        if (direct != nullptr) {
            return std::nullopt;
        }
        if (!drive.LoadSector(at.lba, at.track, drive.rawScratch)) {
            return Outcome::Fail(sense::UnrecoveredReadError, at.lba);
        }
        type = synth::TypeOfRaw(drive.rawScratch, false, IsXa(at.track.mode));
        // 2,048-byte blocks exist only in Mode 1 and form 1 sectors.
        if (type != synth::SectorType::Mode1 && type != synth::SectorType::Mode2Form1) {
            return Outcome::Fail(sense::IllegalModeForTrack);
        }
        return std::nullopt;
    }

    std::optional<Outcome> Fill(const Block& at, Bytes main, Bytes) override
    {
        if (direct != nullptr) {
            if (!direct->source->Read(direct->sourceSector + (at.lba - direct->start), main)) {
                return Outcome::Fail(sense::UnrecoveredReadError, at.lba);
            }
            return std::nullopt;
        }
        std::ranges::copy(synth::UserData(drive.rawScratch, type), main.begin());
        return std::nullopt;
    }
};

Outcome EmulatedDrive::Impl::Read10(const Request& r)
{
    const auto lba = static_cast<std::int32_t>(Be32(r.cdb, 2));
    const std::int64_t count = Be16(r.cdb, 7);
    UserDataChannel channel(*this);
    return ReadRun(lba, count, Selection{}, r.dataIn, channel);
}

// READ CD's blocks: the main channel fields its byte 9 selects, of the sector
// type it expects.
struct EmulatedDrive::Impl::CdChannel final : MainChannel {
    Impl& drive;
    const Selection& sel;
    synth::SectorType expected;
    bool wholeRaw = false;
    synth::SectorType type{};
    Selection::Fields fields;
    std::int32_t loadedEnd; // blocks before this one are already in the caller's buffer

    CdChannel(Impl& d, const Selection& s, synth::SectorType e, std::int32_t lba)
        : drive(d), sel(s), expected(e), loadedEnd(lba)
    {
    }

    std::optional<Outcome> Prepare(const Block& at, std::size_t& size) override
    {
        const bool audio = at.track.mode == TrackMode::Audio;
        wholeRaw = sel.WholeRaw(audio);
        if (wholeRaw) {
            size = synth::RawSectorSize;
            return std::nullopt;
        }
        if (!drive.LoadSector(at.lba, at.track, drive.rawScratch)) {
            return Outcome::Fail(sense::UnrecoveredReadError, at.lba);
        }
        type = synth::TypeOfRaw(drive.rawScratch, audio, IsXa(at.track.mode));
        fields = sel.MainFields(type);
        size = fields.total;
        return std::nullopt;
    }

    std::optional<Outcome> Fill(const Block& at, Bytes main, Bytes ahead) override
    {
        if (wholeRaw) {
            // The usual case, audio extraction above all: the sector goes
            // straight into the caller's buffer.
            const bool audio = at.track.mode == TrackMode::Audio;
            if (audio && drive.Modelled()) {
                drive.blockCost = drive.ModelAudio(at.lba, main);
                if (drive.blockCost < 0) {
                    return Outcome::Fail(sense::UnrecoveredReadError, at.lba);
                }
                return std::nullopt;
            }
            if (audio && sel.c2Size + sel.subSize == 0 && at.lba >= loadedEnd) {
                // Without C2 or Q bytes the blocks lie back to back in the caller's buffer.
                const auto fit = static_cast<std::int64_t>(ahead.size() / synth::RawSectorSize);
                loadedEnd = at.lba +
                            drive.LoadAudioRun(
                                at.lba, std::min<std::int64_t>({at.left, at.track.end - at.lba, fit}), ahead);
            }
            if (at.lba >= loadedEnd && !drive.LoadSector(at.lba, at.track, main)) {
                return Outcome::Fail(sense::UnrecoveredReadError, at.lba);
            }
            type = synth::TypeOfRaw(main, audio, IsXa(at.track.mode));
        } else {
            std::size_t to = 0;
            for (std::size_t k = 0; k < fields.count; ++k) {
                const auto [begin, end] = fields.ranges[k];
                std::copy(drive.rawScratch.begin() + static_cast<std::ptrdiff_t>(begin),
                          drive.rawScratch.begin() + static_cast<std::ptrdiff_t>(end),
                          main.begin() + static_cast<std::ptrdiff_t>(to));
                to += end - begin;
            }
        }
        if (expected != synth::SectorType::Any && type != expected) {
            return Outcome::Fail(sense::IllegalModeForTrack);
        }
        return std::nullopt;
    }
};

Outcome EmulatedDrive::Impl::ReadCd(const Request& r)
{
    if (IsDvd(disc->media)) {
        return Outcome::Fail(sense::IllegalModeForTrack); // a DVD has no CD sectors
    }
    const std::uint8_t expectedCode = (r.cdb[1] >> 2) & 0x07;
    if (expectedCode > 5) {
        return Outcome::Fail(sense::InvalidField);
    }
    Selection sel;
    if (!sel.Parse(r.cdb[9], r.cdb[10]) || (sel.c2Size != 0 && !readModel.c2)) {
        return Outcome::Fail(sense::InvalidField);
    }
    const auto lba = static_cast<std::int32_t>(Be32(r.cdb, 2));
    const std::int64_t count = Be24(r.cdb, 6);
    CdChannel channel(*this, sel, static_cast<synth::SectorType>(expectedCode), lba);
    return ReadRun(lba, count, sel, r.dataIn, channel);
}

Outcome EmulatedDrive::Impl::ReadHeader(const Request& r)
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

} // namespace tolvane::emulator
