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

Outcome EmulatedDrive::Impl::Read10(const Request& r)
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
        Bytes block = fits ? out.subspan(written, UserBlockSize) : Bytes(blockScratch).first(UserBlockSize);
        const Extent* e = ExtentAt(b);
        if (e != nullptr && (e->format == SectorFormat::Mode1Data || e->format == SectorFormat::Form1Data)) {
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

Outcome EmulatedDrive::Impl::ReadCd(const Request& r)
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
