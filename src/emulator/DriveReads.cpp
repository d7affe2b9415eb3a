#include "emulator/DriveImpl.h"

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
    if (lba < 0 || lba + count > disc->capacity) {
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
    std::size_t written = 0; // bytes of `out` filled
    std::size_t full = 0;    // bytes of the run, as if `out` had room for all of it
    for (std::int64_t i = 0; i < count; ++i) {
        const auto b = static_cast<std::int32_t>(lba + i);
        const Track* t = TrackAt(b);
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
        if (auto failure = main.Fill(at, block.first(mainSize), out.subspan(written))) {
            return *failure;
        }
        // No C2 errors: the error bits and the block error byte stay 0.
        std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(mainSize), extras.c2Size, std::uint8_t{0});
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
    commandSectors += count;
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
    if (!sel.Parse(r.cdb[9], r.cdb[10])) {
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
