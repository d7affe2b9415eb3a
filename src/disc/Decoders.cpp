#include "disc/Decoders.h"

#include "util/CdText.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <iomanip>
#include <sstream>

namespace tolvane::decode {

namespace {

// Fixed-format MMC headers.
constexpr std::size_t TocHeader = 4;
constexpr std::size_t TocDescriptor = 8;
constexpr std::size_t FullTocDescriptor = 11;
constexpr std::size_t StructureHeader = 4;

// The ISO 9660 text fields keep leading spaces and NULs; only trailing blanks are padding.
std::string IsoText(ConstBytes block, std::size_t offset, std::size_t length)
{
    std::size_t end = offset + length;
    while (end > offset && block[end - 1] == ' ') {
        --end;
    }
    return Latin1ToUtf8(block.subspan(offset, end - offset));
}

std::string Raw(ConstBytes block, std::size_t offset, std::size_t length)
{
    return std::string(reinterpret_cast<const char*>(block.data() + offset), length);
}

bool AllZeroDigits(ConstBytes digits)
{
    return std::ranges::all_of(digits, [](std::uint8_t b) { return b == '0'; });
}

// The catalogue number and the ISRC share a layout: valid bit in byte 8, characters from byte 9.
std::optional<std::string> SubChannelCode(ConstBytes response, std::size_t length)
{
    constexpr std::size_t ValidByte = 8;
    constexpr std::size_t CodeOffset = 9;
    if (response.size() < CodeOffset + length || (response[ValidByte] & 0x80) == 0) {
        return std::nullopt;
    }
    const ConstBytes code = response.subspan(CodeOffset, length);
    // Many drives report a disc without a number as all zeros, valid bit set.
    if (AllZeroDigits(code)) {
        return std::nullopt;
    }
    return Latin1ToUtf8(code);
}

} // namespace

std::string Latin1ToUtf8(ConstBytes bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const std::uint8_t b : bytes) {
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else {
            text.push_back(static_cast<char>(0xC0 | b >> 6));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

std::optional<Toc> DecodeToc(ConstBytes response)
{
    if (response.size() < TocHeader) {
        return std::nullopt;
    }
    Toc toc;
    toc.firstTrack = response[2];
    toc.lastTrack = response[3];
    // The data length counts the bytes after itself; a drive that cut the answer
    // to the allocation length still reports the full length.
    const std::size_t announced = std::size_t{Be16(response, 0)} + 2;
    for (std::size_t off = TocHeader; off + TocDescriptor <= response.size(); off += TocDescriptor) {
        TocEntry e;
        e.adr = response[off + 1] >> 4;
        e.control = response[off + 1] & 0x0F;
        e.track = response[off + 2];
        e.address = Be32(response, off + 4);
        toc.descriptors.push_back(e);
        if (off + TocDescriptor <= announced) {
            ++toc.answered;
        }
    }
    return toc;
}

std::optional<TocEntry> Toc::LeadOut() const
{
    const auto answer = std::span(descriptors).first(answered);
    const auto it = std::ranges::find(answer, LeadOutTrack, &TocEntry::track);
    return it == answer.end() ? std::nullopt : std::optional<TocEntry>(*it);
}

std::optional<SessionInfo> DecodeSessionInfo(ConstBytes response)
{
    // The answer is one descriptor, data length 10: a drive that took the format from the
    // wrong byte and sent a format-0 TOC (at least two descriptors) did not answer this.
    constexpr std::uint16_t SessionDataLength = 2 + TocDescriptor;
    if (response.size() < TocHeader || Be16(response, 0) != SessionDataLength) {
        return std::nullopt;
    }
    SessionInfo info;
    info.firstSession = response[2];
    info.lastSession = response[3];
    // The descriptor of the last session's first track, when the buffer holds it.
    if (response.size() >= TocHeader + TocDescriptor) {
        info.firstTrackOfLastSession = response[6];
        info.startOfLastSession = static_cast<std::int32_t>(Be32(response, 8));
    }
    return info;
}

std::vector<SessionLeadOut> DecodeSessionLeadOuts(ConstBytes response)
{
    std::vector<SessionLeadOut> leadOuts;
    if (response.size() < TocHeader) {
        return leadOuts;
    }
    const std::size_t available = std::min(std::size_t{Be16(response, 0)} + 2, response.size());
    for (std::size_t off = TocHeader; off + FullTocDescriptor <= available; off += FullTocDescriptor) {
        const std::uint8_t adr = response[off + 1] >> 4;
        const std::uint8_t point = response[off + 3];
        if (adr != 1 || point < 0xA0 || point > 0xA2) {
            continue;
        }
        const std::uint8_t session = response[off];
        auto it = std::ranges::find(leadOuts, session, &SessionLeadOut::session);
        if (it == leadOuts.end()) {
            leadOuts.push_back({});
            it = leadOuts.end() - 1;
            it->session = session;
            it->leadOut = -1;
        }
        if (point == 0xA0) {
            it->firstTrack = response[off + 8];
        } else if (point == 0xA1) {
            it->lastTrack = response[off + 8];
        } else {
            // PMIN, PSEC, PFRAME at 8-10, as binary values in this form of the answer.
            const std::int32_t frames = (response[off + 8] * 60 + response[off + 9]) * 75 + response[off + 10];
            it->leadOut = frames - 150;
        }
    }
    std::erase_if(leadOuts, [](const SessionLeadOut& s) { return s.leadOut < 0; });
    return leadOuts;
}

namespace {

bool ValidMsf(ConstBytes msf)
{
    return msf[1] < 60 && msf[2] < 75;
}

} // namespace

std::optional<bool> DecodeAtipRewritable(ConstBytes response)
{
    // Only an answer that looks like an ATIP counts (drives that read the format from the
    // wrong byte answer a format-0 TOC instead): the header's reserved bytes zero, the
    // descriptor's fixed bits (byte 5 bit 7 zero, byte 6 bit 7 one), a lead-in start in the
    // 90s of minutes (it lies before 00:00:00) and a lead-out start that are valid times.
    constexpr std::size_t AtipEnd = 15; // through the last possible lead-out start
    if (response.size() < AtipEnd || std::size_t{Be16(response, 0)} + 2 < AtipEnd) {
        return std::nullopt;
    }
    const bool plausible = response[2] == 0 && response[3] == 0 && (response[5] & 0x80) == 0 &&
                           (response[6] & 0x80) != 0 && response[8] >= 90 && response[8] <= 99 &&
                           ValidMsf(response.subspan(8, 3)) && ValidMsf(response.subspan(12, 3));
    if (!plausible) {
        return std::nullopt;
    }
    return (response[6] & 0x40) != 0;
}

bool IsPlausibleCdText(ConstBytes packs)
{
    constexpr std::size_t PackSize = 18;
    if (packs.size() < PackSize) {
        return false;
    }
    // Every pack has a CD-Text type; and either a pack's CRC checks or the sequence numbers
    // run on from 0 (some drives return the packs without their CRCs).
    bool crc = false;
    bool sequence = true;
    for (std::size_t i = 0; i + PackSize <= packs.size(); i += PackSize) {
        const ConstBytes pack = packs.subspan(i, PackSize);
        if (pack[0] < 0x80 || pack[0] > 0x8F) {
            return false;
        }
        crc = crc || cdtext::PackCrc(pack.first(16)) == Be16(pack, 16);
        sequence = sequence && pack[2] == static_cast<std::uint8_t>(i / PackSize);
    }
    return crc || sequence;
}

std::optional<std::string> DecodeMcn(ConstBytes response)
{
    return SubChannelCode(response, 13);
}

std::optional<std::string> DecodeIsrc(ConstBytes response)
{
    return SubChannelCode(response, 12);
}

std::optional<DiscInformation> DecodeDiscInformation(ConstBytes response)
{
    if (response.size() < 9) {
        return std::nullopt;
    }
    DiscInformation info;
    info.status = response[2] & 0x03;
    info.erasable = (response[2] & 0x10) != 0;
    info.discType = response[8];
    return info;
}

std::string DiscFormatName(std::uint8_t discType)
{
    switch (discType) {
    case 0x00:
        return "CD-DA/CD-ROM";
    case 0x10:
        return "CD-I";
    case 0x20:
        return "CD-ROM XA";
    case 0xFF:
        return "Undefined";
    default:
        return {};
    }
}

std::optional<Capacity> DecodeCapacity(ConstBytes response)
{
    if (response.size() < 8) {
        return std::nullopt;
    }
    return Capacity{Be32(response, 0), Be32(response, 4)};
}

std::optional<DvdPhysical> DecodeDvdPhysical(ConstBytes response)
{
    if (response.size() < StructureHeader + 3) {
        return std::nullopt;
    }
    const ConstBytes s = response.subspan(StructureHeader);
    return DvdPhysical{static_cast<std::uint8_t>(s[0] >> 4), static_cast<std::uint8_t>((s[2] >> 5 & 0x03) + 1)};
}

std::string DvdBookName(std::uint8_t bookType)
{
    switch (bookType) {
    case 0:
        return "DVD-ROM";
    case 1:
        return "DVD-RAM";
    case 2:
        return "DVD-R";
    case 3:
        return "DVD-RW";
    case 9:
        return "DVD+RW";
    case 10:
        return "DVD+R";
    default:
        return {};
    }
}

std::optional<std::uint8_t> DecodeDvdRegions(ConstBytes response)
{
    if (response.size() < StructureHeader + 2) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(~response[StructureHeader + 1]);
}

std::optional<std::uint8_t> DecodeTrackDataMode(ConstBytes response)
{
    if (response.size() < 7) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(response[6] & 0x0F);
}

std::optional<std::uint8_t> DecodeHeaderDataMode(ConstBytes response)
{
    if (response.empty()) {
        return std::nullopt;
    }
    return response[0];
}

std::optional<VolumeDescriptorId> IdentifyVolumeDescriptor(ConstBytes block)
{
    constexpr std::array<std::uint8_t, 5> Iso{'C', 'D', '0', '0', '1'};
    constexpr std::array<std::uint8_t, 5> HighSierra{'C', 'D', 'R', 'O', 'M'};
    if (block.size() < SectorSize) {
        return std::nullopt;
    }
    if (std::ranges::equal(block.subspan(1, 5), Iso)) {
        return VolumeDescriptorId{block[0], block[6], false};
    }
    // High Sierra keeps the block's own address in bytes 0-7 and moves the rest by eight.
    if (std::ranges::equal(block.subspan(9, 5), HighSierra)) {
        return VolumeDescriptorId{block[8], block[14], true};
    }
    return std::nullopt;
}

bool IsJoliet(ConstBytes block)
{
    const auto id = IdentifyVolumeDescriptor(block);
    if (!id || id->highSierra || id->type != 2) {
        return false;
    }
    // Escape sequences at 88: "%/@", "%/C" or "%/E" name the UCS-2 levels 1 to 3.
    return block[88] == '%' && block[89] == '/' && (block[90] == '@' || block[90] == 'C' || block[90] == 'E');
}

std::optional<VolumeDescriptor> DecodePrimaryVolumeDescriptor(ConstBytes block)
{
    // A UDF-only disc has "BEA01" at block 16, and other media hold anything there:
    // only a real primary descriptor is decoded.
    const auto id = IdentifyVolumeDescriptor(block);
    if (!id || id->highSierra || id->type != 1) {
        return std::nullopt;
    }
    VolumeDescriptor vd;
    vd.systemIdentifier = IsoText(block, 8, 32);
    vd.volumeIdentifier = IsoText(block, 40, 32);
    vd.volumeSpaceSize = static_cast<std::int32_t>(Le32(block, 80));
    vd.logicalBlockSize = static_cast<std::int16_t>(Le16(block, 128));
    vd.pathTableSize = static_cast<std::int32_t>(Le32(block, 132));
    vd.lPathTableLocation = static_cast<std::int32_t>(Le32(block, 140));
    vd.optionalLPathTableLocation = static_cast<std::int32_t>(Le32(block, 144));
    vd.mPathTableLocation = static_cast<std::int32_t>(Be32(block, 148));
    vd.optionalMPathTableLocation = static_cast<std::int32_t>(Be32(block, 152));
    vd.volumeSetIdentifier = IsoText(block, 190, 128);
    vd.publisherIdentifier = IsoText(block, 318, 128);
    vd.dataPreparerIdentifier = IsoText(block, 446, 128);
    vd.applicationIdentifier = IsoText(block, 574, 128);
    vd.copyrightFileIdentifier = IsoText(block, 702, 37);
    vd.abstractFileIdentifier = IsoText(block, 739, 37);
    vd.bibliographicFileIdentifier = IsoText(block, 776, 37);
    vd.creation = Raw(block, 813, 17);
    vd.modification = Raw(block, 830, 17);
    vd.expiration = Raw(block, 847, 17);
    vd.effective = Raw(block, 864, 17);
    return vd;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

// A group of digits, possibly with leading spaces; nothing when it is not a number.
std::optional<std::int64_t> Group(std::string_view field, std::size_t offset, std::size_t length)
{
    std::string_view g = field.substr(offset, length);
    while (!g.empty() && g.front() == ' ') {
        g.remove_prefix(1);
    }
    if (g.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : g) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::string FormatIsoDate(std::string_view field, const std::locale& locale)
{
    if (field.size() < 16) {
        return {};
    }
    constexpr std::array<std::pair<std::size_t, std::size_t>, 6> Groups{
        {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}}};
    std::array<std::int64_t, 6> v{};
    for (std::size_t i = 0; i < Groups.size(); ++i) {
        const auto g = Group(field, Groups[i].first, Groups[i].second);
        if (!g) {
            return {};
        }
        v[i] = *g;
    }
    // ISO 9660 writes all zeros for a date that is not specified.
    if (v[0] == 0 && v[1] == 0 && v[2] == 0) {
        return {};
    }
    // Month 13 is January of the next year, day 0 the last day of the month before.
    const std::int64_t monthIndex = v[1] - 1;
    const std::int64_t year = v[0] + (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12);
    const std::int64_t month = (monthIndex % 12 + 12) % 12 + 1;
    const std::int64_t seconds = (DaysFromCivil(year, month, 1) + v[2] - 1) * 86400 + v[3] * 3600 + v[4] * 60 + v[5];
    const std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t timeOfDay = seconds - days * 86400;
    std::int64_t y = 0;
    std::int64_t m = 0;
    std::int64_t d = 0;
    CivilFromDays(days, y, m, d);

    std::tm tm{};
    tm.tm_year = static_cast<int>(y - 1900);
    tm.tm_mon = static_cast<int>(m - 1);
    tm.tm_mday = static_cast<int>(d);
    tm.tm_hour = static_cast<int>(timeOfDay / 3600);
    tm.tm_min = static_cast<int>(timeOfDay / 60 % 60);
    tm.tm_sec = static_cast<int>(timeOfDay % 60);
    tm.tm_wday = static_cast<int>((days % 7 + 11) % 7); // 1970-01-01 was a Thursday
    tm.tm_isdst = 0;
    std::ostringstream out;
    out.imbue(locale);
    out << std::put_time(&tm, "%x") << ' ' << std::put_time(&tm, "%X");
    return out.str();
}

std::uint32_t VolumeSerialOfDescriptor(ConstBytes block)
{
    std::array<std::uint8_t, 4> lanes{};
    const std::size_t n = std::min(block.size(), SectorSize);
    for (std::size_t i = 0; i < n; ++i) {
        lanes[i % 4] = static_cast<std::uint8_t>(lanes[i % 4] + block[i]);
    }
    return std::uint32_t{lanes[0]} << 24 | std::uint32_t{lanes[1]} << 16 | std::uint32_t{lanes[2]} << 8 | lanes[3];
}

std::optional<CdfsToc> CdfsViewOfToc(Toc msfToc)
{
    // It refuses a TOC whose track range is backwards or runs past the answer.
    if (msfToc.firstTrack > msfToc.lastTrack ||
        msfToc.answered < std::size_t{msfToc.lastTrack} - msfToc.firstTrack + 2) {
        return std::nullopt;
    }
    // It hides the data track of a CD+ (audio tracks, then data): the last track number drops
    // by one and the data track, moved 2:30 earlier over its lead-in, stands for the lead-out.
    // The bytes are moved as the driver moves them, wrapping within a byte.
    CdfsToc view;
    for (std::size_t i = 0; i < std::size_t{msfToc.lastTrack} - msfToc.firstTrack + 1; ++i) {
        TocEntry& e = msfToc.descriptors[i];
        if ((e.control & 0x4) == 0) {
            view.audioTracks = true;
            continue;
        }
        if (view.audioTracks && !view.dataTracks) {
            auto m = static_cast<std::uint8_t>(e.Minute() - 2);
            auto sec = static_cast<std::uint8_t>(e.Second() + 30);
            if (sec < 60) {
                --m;
            } else {
                sec = static_cast<std::uint8_t>(sec - 60);
            }
            e.address = std::uint32_t{m} << 16 | std::uint32_t{sec} << 8 | e.Frame();
            e.track = LeadOutTrack;
            --msfToc.lastTrack;
            view.dataTracks = true;
            break;
        }
        view.dataTracks = true;
    }
    view.toc = std::move(msfToc);
    return view;
}

std::uint32_t VolumeSerialOfAudioToc(const Toc& cdfsToc)
{
    const std::size_t count = std::size_t{cdfsToc.lastTrack} - cdfsToc.firstTrack + 1;
    const auto frames = [](const TocEntry& e) {
        return (std::uint32_t{e.Minute()} * 60 + e.Second()) * 75 + e.Frame();
    };
    // One or two tracks start from the disc's length in frames; then every track's start is
    // added as the word 0x00MMSSFF. Unsigned 32-bit arithmetic, wrapping, as the driver's.
    std::uint32_t serial = 0;
    if (count <= 2) {
        serial = frames(cdfsToc.descriptors.at(count)) - frames(cdfsToc.descriptors.at(0));
    }
    for (std::size_t i = 0; i < count; ++i) {
        serial += cdfsToc.descriptors.at(i).address & 0x00FFFFFF;
    }
    return serial;
}

std::int32_t DigitSum(std::int32_t n)
{
    std::int32_t sum = 0;
    while (n > 0) {
        sum += n % 10;
        n /= 10;
    }
    return sum;
}

std::optional<std::uint32_t> CddbId(const Toc& msfToc)
{
    if (msfToc.lastTrack < msfToc.firstTrack) {
        return std::nullopt;
    }
    const std::size_t tracks = std::size_t{msfToc.lastTrack} - msfToc.firstTrack + 1;
    std::optional<TocEntry> leadOut = msfToc.LeadOut();
    if (!leadOut && tracks < msfToc.descriptors.size()) {
        leadOut = msfToc.descriptors[tracks];
    }
    if (!leadOut || tracks > msfToc.descriptors.size()) {
        return std::nullopt;
    }
    const auto seconds = [](const TocEntry& e) { return std::int32_t{e.Minute()} * 60 + e.Second(); };
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < tracks; ++i) {
        sum += DigitSum(seconds(msfToc.descriptors[i]));
    }
    const std::int32_t playing = seconds(*leadOut) - seconds(msfToc.descriptors[0]);
    return static_cast<std::uint32_t>(sum % 255) << 24 | static_cast<std::uint32_t>(playing) << 8 |
           static_cast<std::uint32_t>(tracks & 0xFF);
}

} // namespace tolvane::decode
