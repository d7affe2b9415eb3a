#include "emulator/DriveImpl.h"
#include "util/CdText.h"

namespace tolvane::emulator {

namespace {

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

// Where a pressed disc's Q carries its codes instead of a position: the media catalogue number
// (ADR 2) at blocks 25, 125, 225 ... and a track's ISRC (ADR 3) at blocks 75, 175 ... of its
// audio after INDEX 01 (not in the pause before it). Each comes once in 100 blocks, as the Red
// Book asks at least, and the two never meet; everywhere else the frame is a position (ADR 1).
constexpr std::int32_t CodeInterval = 100;
constexpr std::int32_t McnSlot = 25;
constexpr std::int32_t IsrcSlot = 75;

// The 6-bit character code of the ISRC's country and owner letters: '0'-'9' are 0x00-0x09 and
// 'A'-'Z' are 0x11-0x2A (ASCII less 0x30).
std::uint8_t IsrcCharacter(char c)
{
    return static_cast<std::uint8_t>((static_cast<unsigned char>(c) - 0x30) & 0x3F);
}

std::uint8_t Digit(char c)
{
    return static_cast<std::uint8_t>((static_cast<unsigned char>(c) - '0') & 0x0F);
}

} // namespace

const std::vector<std::uint8_t>& EmulatedDrive::Impl::CdTextPacks()
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

// A block's sub-channel as READ CD selects it. The disc carries no R-W data (no
// CD-Text packs in the program area, no graphics), so R-W bits are zero; P is set
// in the pause before a track (index 0), as a pressed disc has it.
void EmulatedDrive::Impl::SubChannel(std::int32_t lba, const Track& t, Selection::Sub kind, Bytes out) const
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

// The formatted Q sub-channel of a block, with its CRC: a position (ADR 1, BCD), or in the slots
// above the catalogue number or the ISRC.
void EmulatedDrive::Impl::FormattedQ(std::int32_t lba, const Track& t, Bytes q) const
{
    std::fill_n(q.begin(), 10, std::uint8_t{0});
    const std::int32_t slot = lba % CodeInterval;
    const Msf absolute = Msf::FromLba(lba);
    if (slot == McnSlot && disc->mcn.size() == 13) {
        // N1 ... N13 in BCD, 12 zero bits, then the absolute frame.
        q[0] = static_cast<std::uint8_t>(t.control << 4 | 0x02);
        for (std::size_t i = 0; i < 13; ++i) {
            const std::uint8_t d = Digit(disc->mcn[i]);
            q[1 + i / 2] = static_cast<std::uint8_t>(q[1 + i / 2] | (i % 2 == 0 ? d << 4 : d));
        }
        q[9] = ToBcd(absolute.frame);
    } else if (slot == IsrcSlot && t.isrc.size() == 12 && lba >= t.start) {
        // I1 ... I5 in 6 bits each and two zero bits, I6 ... I12 in BCD, four zero bits, then the
        // absolute frame.
        q[0] = static_cast<std::uint8_t>(t.control << 4 | 0x03);
        std::uint64_t letters = 0;
        for (std::size_t i = 0; i < 5; ++i) {
            letters = letters << 6 | IsrcCharacter(t.isrc[i]);
        }
        letters <<= 2;
        for (std::size_t i = 0; i < 4; ++i) {
            q[1 + i] = static_cast<std::uint8_t>(letters >> (24 - 8 * i));
        }
        for (std::size_t i = 0; i < 7; ++i) {
            const std::uint8_t d = Digit(t.isrc[5 + i]);
            q[5 + i / 2] = static_cast<std::uint8_t>(q[5 + i / 2] | (i % 2 == 0 ? d << 4 : d));
        }
        q[9] = ToBcd(absolute.frame);
    } else {
        q[0] = static_cast<std::uint8_t>(t.control << 4 | 0x01);
        q[1] = ToBcd(t.number);
        q[2] = ToBcd(IndexAt(t, lba));
        // In the pregap the relative time counts down to INDEX 01.
        const Msf relative = Msf::FromFrames(lba < t.start ? t.start - lba : lba - t.start);
        q[3] = ToBcd(relative.minute);
        q[4] = ToBcd(relative.second);
        q[5] = ToBcd(relative.frame);
        q[6] = 0;
        q[7] = ToBcd(absolute.minute);
        q[8] = ToBcd(absolute.second);
        q[9] = ToBcd(absolute.frame);
    }
    PutBe16(q, 10, SubQCrc(q.first(10)));
    std::fill_n(q.begin() + 12, 4, std::uint8_t{0});
}

Outcome EmulatedDrive::Impl::ReadToc(const Request& r)
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

Outcome EmulatedDrive::Impl::TocFormat0(bool msf, std::uint8_t start)
{
    if (tracks.empty()) {
        return Outcome::Fail(sense::InvalidField); // a blank disc has no TOC
    }
    constexpr std::uint8_t LeadOutNumber = 0xAA;
    const std::uint8_t first = std::max(start, tracks.front().number);
    if (start > tracks.back().number && start != LeadOutNumber) {
        return Outcome::Fail(sense::InvalidField);
    }
    const auto n = start == LeadOutNumber ? std::size_t{0}
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

Outcome EmulatedDrive::Impl::TocFormat1(bool msf)
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

std::array<std::uint8_t, 3> EmulatedDrive::Impl::Msf3(const Msf& m)
{
    return {static_cast<std::uint8_t>(m.minute & 0xFF), static_cast<std::uint8_t>(m.second),
            static_cast<std::uint8_t>(m.frame)};
}

Outcome EmulatedDrive::Impl::TocFormat2(std::uint8_t startSession)
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
        entries.push_back(
            {session, adrControl, 0, point, time[0], time[1], time[2], zero, ptime[0], ptime[1], ptime[2]});
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

Outcome EmulatedDrive::Impl::TocAtip()
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

Outcome EmulatedDrive::Impl::TocCdText()
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

Outcome EmulatedDrive::Impl::ReadSubChannel(const Request& r)
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

} // namespace tolvane::emulator
