#include "emulator/LoaderSupport.h"

#include "emulator/ImageLoader.h"
#include "util/ByteOrder.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace tolvane::emulator::loader {

namespace fs = std::filesystem;

namespace {

// Sheets are a few kilobytes; anything this large is not one.
constexpr std::uintmax_t MaxSheetBytes = 4 * 1024 * 1024;
// Eight language blocks of 256 packs each, with room for a header.
constexpr std::uintmax_t MaxCdTextFileBytes = 64 * 1024;

bool IsRegularFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The entry of `directory` whose name equals `name` when case is ignored (ASCII letters).
std::optional<fs::path> MatchNoCase(const fs::path& directory, const std::string& name)
{
    const std::string wanted = LowerAscii(name);
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : directory, ec);
    std::vector<std::string> matches;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (LowerAscii(entry) == wanted)
            matches.push_back(entry);
    }
    if (matches.empty())
        return std::nullopt;
    // Several names that differ only in case: take one the same way every time.
    std::sort(matches.begin(), matches.end());
    return directory / matches.front();
}

std::optional<fs::path> FindComponents(const fs::path& base, const std::vector<std::string>& parts)
{
    fs::path current = base;
    for (const std::string& part : parts) {
        const fs::path exact = current / part;
        std::error_code ec;
        if (part == "." || part == ".." || fs::exists(exact, ec)) {
            current = exact;
            continue;
        }
        const auto match = MatchNoCase(current, part);
        if (!match)
            return std::nullopt;
        current = *match;
    }
    if (!IsRegularFile(current))
        return std::nullopt;
    return current;
}

} // namespace

std::string Printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char c) {
        static constexpr char Digits[] = "0123456789ABCDEF";
        out += "\\x";
        out += Digits[c >> 4];
        out += Digits[c & 0x0F];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence of a character beyond the C1 controls stays.
        const std::size_t length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool valid = length > 0 && i + length <= text.size();
        std::uint32_t code = length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        valid = valid && code >= 0xA0 && (length != 3 || code >= 0x800) && (length != 4 || code >= 0x10000) &&
                code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            escape(c);
            ++i;
        }
    }
    return out;
}

std::string At(const std::string& sheetName, int line, const std::string& message)
{
    // Messages quote the sheet's own text, which may be anything (a binary file given as a
    // sheet): nothing unprintable reaches a terminal.
    if (line <= 0)
        return Printable(sheetName + ": " + message);
    return Printable(sheetName + ":" + std::to_string(line) + ": " + message);
}

bool ReadSheet(const std::string& path, std::string& text, std::string& error)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = BaseName(path) + ": no such file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > MaxSheetBytes) {
        error = BaseName(path) + ": too large for a sheet";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = BaseName(path) + ": cannot be opened";
        return false;
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(text.data(), static_cast<std::streamsize>(size))) {
        error = BaseName(path) + ": cannot be read";
        return false;
    }
    return true;
}

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    std::uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > max)
        return false;
    value = v;
    return true;
}

bool CheckMsf(std::uint64_t minutes, std::uint64_t seconds, std::uint64_t frames, std::int32_t& total,
              std::string& why)
{
    if (frames >= 75) {
        why = "frames must be below 75";
        return false;
    }
    if (seconds >= 60) {
        why = "seconds must be below 60";
        return false;
    }
    // Far beyond any CD; keeps the frame count within 32 bits.
    if (minutes > 999) {
        why = "minutes out of range";
        return false;
    }
    total = static_cast<std::int32_t>((minutes * 60 + seconds) * 75 + frames);
    return true;
}

bool ParseMsf(std::string_view text, std::int32_t& frames, std::string& why)
{
    std::array<std::uint64_t, 3> fields{};
    std::size_t field = 0;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ':')
            continue;
        if (field == 3 || !ParseNumber(text.substr(begin, i - begin), 999, fields[field])) {
            why = "not a time (mm:ss:ff)";
            return false;
        }
        ++field;
        begin = i + 1;
    }
    if (field != 3) {
        why = "not a time (mm:ss:ff)";
        return false;
    }
    return CheckMsf(fields[0], fields[1], fields[2], frames, why);
}

bool IsValidMcn(std::string_view text)
{
    return text.size() == 13 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsValidIsrc(std::string_view text)
{
    if (text.size() != 12)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        const bool letter = c >= 'A' && c <= 'Z';
        if (i < 5 ? !(digit || letter) : !digit)
            return false;
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    return fs::path(path).parent_path().string();
}

std::string BaseName(const std::string& path)
{
    return fs::path(path).filename().string();
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           LowerAscii(std::string(text.substr(text.size() - suffix.size()))) ==
               LowerAscii(std::string(suffix));
}

std::string FindBeside(const std::string& sheetDirectory, const std::string& name)
{
    std::string normalized = name;
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    if (normalized.empty())
        return {};

    const bool absolute = normalized.front() == '/';
    const fs::path base = absolute ? fs::path("/") : fs::path(sheetDirectory);
    const fs::path exact = base / normalized;
    if (IsRegularFile(exact))
        return exact.string();

    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= normalized.size(); ++i) {
        if (i < normalized.size() && normalized[i] != '/')
            continue;
        if (i > begin)
            parts.push_back(normalized.substr(begin, i - begin));
        begin = i + 1;
    }
    if (parts.empty())
        return {};
    if (const auto found = FindComponents(base, parts))
        return found->string();
    // A path from the machine that wrote the sheet ("C:\Rips\disc.bin"): the file itself may
    // still be beside the sheet.
    if (parts.size() > 1) {
        if (const auto found = FindComponents(fs::path(sheetDirectory), {parts.back()}))
            return found->string();
    }
    return {};
}

std::string Utf8ToLatin1(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool changed = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Only the two-byte forms C2 xx and C3 xx encode U+0080..U+00FF; anything else is either
        // not UTF-8 or a character Latin-1 lacks.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= text.size())
            return std::string(text);
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if ((next & 0xC0) != 0x80)
            return std::string(text);
        out.push_back(static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F)));
        changed = true;
        i += 2;
    }
    return changed ? out : std::string(text);
}

bool ReadWaveHeader(const std::string& path, WaveData& data, std::string& error)
{
    const std::string name = BaseName(path);
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!in || ec) {
        error = "cannot open " + name;
        return false;
    }
    std::array<std::uint8_t, 12> riff{};
    if (!in.read(reinterpret_cast<char*>(riff.data()), riff.size()) ||
        !std::equal(riff.begin(), riff.begin() + 4, "RIFF") ||
        !std::equal(riff.begin() + 8, riff.end(), "WAVE")) {
        error = name + " is not a RIFF WAVE file";
        return false;
    }

    bool formatSeen = false;
    std::uint64_t position = 12;
    while (position + 8 <= size) {
        std::array<std::uint8_t, 8> header{};
        in.seekg(static_cast<std::streamoff>(position));
        if (!in.read(reinterpret_cast<char*>(header.data()), header.size()))
            break;
        const std::uint32_t chunkSize = Le32(header, 4);
        const std::uint64_t body = position + 8;
        if (std::equal(header.begin(), header.begin() + 4, "fmt ")) {
            std::array<std::uint8_t, 40> fmt{};
            const std::size_t want = std::min<std::size_t>(chunkSize, fmt.size());
            if (chunkSize < 16 ||
                !in.read(reinterpret_cast<char*>(fmt.data()), static_cast<std::streamsize>(want))) {
                error = name + ": WAVE format chunk too short";
                return false;
            }
            std::uint16_t tag = Le16(fmt, 0);
            // WAVE_FORMAT_EXTENSIBLE keeps the real format in the first two bytes of its sub-format GUID.
            if (tag == 0xFFFE && want >= 26)
                tag = Le16(fmt, 24);
            const bool cdAudio = tag == 1 && Le16(fmt, 2) == 2 && Le32(fmt, 4) == 44100 &&
                                 Le16(fmt, 12) == 4 && Le16(fmt, 14) == 16;
            if (!cdAudio) {
                error = name + " is not 16-bit stereo PCM at 44.1 kHz";
                return false;
            }
            formatSeen = true;
        } else if (std::equal(header.begin(), header.begin() + 4, "data")) {
            if (!formatSeen) {
                error = name + ": WAVE data before its format";
                return false;
            }
            data.offset = body;
            // Writers that stream (size 0xFFFFFFFF) or were cut short: the file's end is the limit.
            data.bytes = std::min<std::uint64_t>(chunkSize, size - body);
            return true;
        }
        position = body + chunkSize + (chunkSize & 1);
    }
    error = name + ": WAVE file without a data chunk";
    return false;
}

bool ReadCdTextFile(const std::string& path, std::vector<std::uint8_t>& packs, std::string& warning,
                    std::string& error)
{
    const std::string name = BaseName(path);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        error = "cannot open " + name;
        return false;
    }
    if (size > MaxCdTextFileBytes) {
        error = name + " is too large for CD-Text";
        return false;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in ||
        (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))) {
        error = "cannot read " + name;
        return false;
    }

    const auto isPackType = [](std::uint8_t b) { return b >= 0x80 && b <= 0x8F; };
    std::size_t begin = 0;
    // The header of READ TOC format 5: a data length that counts the bytes after itself, two
    // reserved bytes. A pack file starts with a pack type instead.
    if (bytes.size() >= 4 + cdtext::PackSize) {
        const bool lengthFits = Be16(bytes, 0) + 2u == bytes.size();
        const bool shapeFits =
            (bytes.size() - 4) % cdtext::PackSize == 0 && !isPackType(bytes[0]) && isPackType(bytes[4]);
        if (lengthFits || shapeFits)
            begin = 4;
    }
    const std::size_t count = (bytes.size() - begin) / cdtext::PackSize;
    if (count == 0) {
        error = name + " holds no CD-Text packs";
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!isPackType(bytes[begin + i * cdtext::PackSize])) {
            error =
                name + " is not a CD-Text pack file (pack " + std::to_string(i + 1) + " has no pack type)";
            return false;
        }
    }
    const std::size_t stray = bytes.size() - begin - count * cdtext::PackSize;
    if (stray > 0)
        warning = name + ": " + std::to_string(stray) + " byte(s) after the last pack ignored";
    packs.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                 bytes.begin() + static_cast<std::ptrdiff_t>(begin + count * cdtext::PackSize));
    return true;
}

SectorFormat UserDataFormat(TrackMode mode)
{
    switch (mode) {
    case TrackMode::Audio:
        return SectorFormat::Audio;
    case TrackMode::Mode1:
        return SectorFormat::Mode1Data;
    case TrackMode::Mode2:
    case TrackMode::Mode2FormMix:
        return SectorFormat::Mode2Data;
    case TrackMode::Mode2Form1:
        return SectorFormat::Form1Data;
    case TrackMode::Mode2Form2:
        return SectorFormat::Form2Data;
    }
    return SectorFormat::Audio;
}

std::shared_ptr<const FileSource> FileSources::Get(const std::string& path, std::uint64_t byteOffset,
                                                   std::size_t stride, bool swapBytes, std::int64_t& sector,
                                                   std::string& error)
{
    const std::uint64_t alignment = byteOffset % stride;
    const auto key = std::make_tuple(path, stride, alignment, swapBytes);
    auto it = open_.find(key);
    if (it == open_.end()) {
        auto source = FileSource::Open(path, alignment, stride, swapBytes, error);
        if (!source)
            return nullptr;
        it = open_.emplace(key, std::move(source)).first;
    }
    sector = static_cast<std::int64_t>(byteOffset / stride);
    return it->second;
}

void DiscLayout::Data(std::shared_ptr<const SectorSource> source, SectorFormat format,
                      std::int64_t sourceSector, std::int32_t count)
{
    if (count <= 0)
        return;
    if (!disc_.extents.empty()) {
        Extent& last = disc_.extents.back();
        if (last.End() == position_ && last.source == source && last.format == format &&
            last.sourceSector + last.length == sourceSector) {
            last.length += count;
            position_ += count;
            return;
        }
    }
    disc_.extents.push_back(Extent{position_, count, format, std::move(source), sourceSector});
    position_ += count;
}

void DiscLayout::Zeros(SectorFormat format, std::int32_t count)
{
    if (count <= 0)
        return;
    if (!zeros_)
        zeros_ = std::make_shared<ZeroSource>();
    // Every zero block reads as sector 0 of the source, so a run of zeros grows without regard
    // to sector numbers.
    if (!disc_.extents.empty()) {
        Extent& last = disc_.extents.back();
        if (last.End() == position_ && last.source == zeros_ && last.format == format) {
            last.length += count;
            position_ += count;
            return;
        }
    }
    disc_.extents.push_back(Extent{position_, count, format, zeros_, 0});
    position_ += count;
}

void DiscLayout::Pattern(SectorFormat format, std::int32_t count)
{
    if (!pattern_)
        pattern_ = std::make_shared<AddressPatternSource>();
    // The pattern's sector number is the block's address on the disc.
    Data(pattern_, format, position_, count);
}

bool FinishCd(Disc& disc, bool deriveDiscType, std::string& error)
{
    if (disc.tracks.empty() || disc.sessions.empty()) {
        error = "no tracks";
        return false;
    }
    for (Track& track : disc.tracks) {
        track.control = static_cast<std::uint8_t>(track.control & ~control::Data);
        if (IsData(track.mode))
            track.control |= control::Data;
    }
    if (deriveDiscType) {
        for (Session& session : disc.sessions) {
            const bool xa = std::any_of(disc.tracks.begin(), disc.tracks.end(), [&](const Track& t) {
                return t.session == session.number && DataModeOf(t.mode) == 2;
            });
            session.discType = xa ? 0x20 : 0x00;
        }
    }
    disc.capacity = disc.LeadOut();
    if (disc.capacity > MaxCdBlocks) {
        error = "longer than a CD can be (" + std::to_string(disc.capacity) + " blocks)";
        return false;
    }
    return true;
}

} // namespace tolvane::emulator::loader
