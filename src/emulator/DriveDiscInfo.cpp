#include "emulator/DriveImpl.h"

namespace tolvane::emulator {

namespace {

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

// The pregap before a disc's first track: two seconds.
constexpr std::int32_t FirstPregapBlocks = 150;

} // namespace

Outcome EmulatedDrive::Impl::ReadCapacity(const Request&)
{
    Bytes a = Answer(8);
    PutBe32(a, 0, static_cast<std::uint32_t>(std::max(disc->capacity - 1, 0))); // last block address
    PutBe32(a, 4, UserBlockSize);                                               // block length
    return Outcome::Built(a.size());
}

Outcome EmulatedDrive::Impl::ReadDiscInformation(const Request& r)
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

Outcome EmulatedDrive::Impl::ReadTrackInformation(const Request& r)
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

std::uint8_t EmulatedDrive::Impl::FirstTrackOfSession(std::uint32_t number) const
{
    const Session* s = FindSession(static_cast<std::uint8_t>(number));
    return s == nullptr ? 0 : FirstTrackOf(*s);
}

// The track after the last on a recordable CD open to writing: where the next one will be written.
bool EmulatedDrive::Impl::IsInvisibleTrack(std::uint32_t number) const
{
    if (!IsRecordableCd(disc->media) || disc->status == DiscStatus::Complete) {
        return false;
    }
    return number == (tracks.empty() ? 1u : tracks.back().number + 1u);
}

Outcome EmulatedDrive::Impl::InvisibleTrackInformation()
{
    const std::int32_t start = sessions.empty() || tracks.empty() ? 0
                                                                  : sessions.back().leadOut + LeadOutBlocks +
                                                                        LeadInBlocks + FirstPregapBlocks;
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

Outcome EmulatedDrive::Impl::ReadDiscStructure(const Request& r)
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

Outcome EmulatedDrive::Impl::PhysicalFormat()
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

} // namespace tolvane::emulator
