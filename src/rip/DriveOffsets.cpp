#include "rip/DriveOffsets.h"

#include "rip/Blocks.h"

#include "disc/Checksums.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tolvane::rip {
namespace {

std::string_view Trim(std::string_view s)
{
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!s.empty() && space(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && space(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    a = Trim(a);
    b = Trim(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

bool ParseOffsetTable(std::string_view text, OffsetTable& table, std::string& error)
{
    table.entries.clear();
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        line = Trim(line.substr(0, std::min(line.find('#'), line.size())));
        if (line.empty()) {
            continue;
        }
        const std::size_t bar1 = line.find('|');
        const std::size_t bar2 = bar1 == std::string_view::npos ? bar1 : line.find('|', bar1 + 1);
        error = "line " + std::to_string(number) + ": ";
        if (bar2 == std::string_view::npos || line.find('|', bar2 + 1) != std::string_view::npos) {
            error += "not \"vendor | product | offset\"";
            return false;
        }
        OffsetEntry e;
        e.vendor = std::string(Trim(line.substr(0, bar1)));
        e.product = std::string(Trim(line.substr(bar1 + 1, bar2 - bar1 - 1)));
        std::string_view value = Trim(line.substr(bar2 + 1));
        if (!value.empty() && value.front() == '+') {
            value.remove_prefix(1);
        }
        const auto [at, ec] = std::from_chars(value.data(), value.data() + value.size(), e.offset);
        if (e.product.empty() || value.empty() || ec != std::errc{} || at != value.data() + value.size() ||
            std::abs(e.offset) > 100 * 588) {
            error += "the drive needs a product and an offset in samples such as +667";
            return false;
        }
        table.entries.push_back(std::move(e));
    }
    error.clear();
    return true;
}

std::string OffsetTableText(const OffsetTable& table)
{
    std::string text = "# Read offsets of drives, in samples: vendor | product | offset\n";
    for (const OffsetEntry& e : table.entries) {
        text += e.vendor;
        text += " | ";
        text += e.product;
        text += " | ";
        text += e.offset > 0 ? "+" : "";
        text += std::to_string(e.offset);
        text += '\n';
    }
    return text;
}

std::optional<int> FindOffset(const OffsetTable& table, std::string_view vendor, std::string_view product)
{
    for (const OffsetEntry& e : table.entries) {
        if (SameName(e.vendor, vendor) && SameName(e.product, product)) {
            return e.offset;
        }
    }
    return std::nullopt;
}

void SetOffset(OffsetTable& table, std::string_view vendor, std::string_view product, int offset)
{
    for (OffsetEntry& e : table.entries) {
        if (SameName(e.vendor, vendor) && SameName(e.product, product)) {
            e.offset = offset;
            return;
        }
    }
    table.entries.push_back({std::string(Trim(vendor)), std::string(Trim(product)), offset});
}

std::string DefaultOffsetTablePath()
{
    if (const char* file = std::getenv("TOLVANE_OFFSETS_FILE"); file != nullptr && *file != '\0') {
        return file;
    }
    std::filesystem::path folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
        folder = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".config";
    } else {
        folder = ".";
    }
    return (folder / "tolvane" / "drive-offsets").string();
}

bool LoadOffsetTable(const std::string& path, OffsetTable& table, std::string& error)
{
    table.entries.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    if (!ParseOffsetTable(text.str(), table, error)) {
        error = path + ", " + error;
        return false;
    }
    return true;
}

bool SaveOffsetTable(const std::string& path, const OffsetTable& table, std::string& error)
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << OffsetTableText(table);
    out.close();
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    return true;
}

OffsetDetection DetectOffset(MMC& mmc, std::int32_t start, std::int32_t blocks, std::int32_t discEnd,
                             bool firstTrack, bool lastTrack, std::span<const std::uint32_t> knownV1,
                             int margin)
{
    OffsetDetection result;
    margin = std::max(margin, 0);
    const std::int32_t around = (margin + 587) / 588; // whole blocks each way
    const std::int32_t from = start - around;
    const std::int32_t to = start + blocks + around;
    // The samples of blocks [from, to), silence where they fall outside the disc.
    std::vector<std::uint32_t> samples(static_cast<std::size_t>(to - from) * 588, 0);
    const BurstRead read =
        ReadBursts(mmc, std::max(from, 0), std::min(to, discEnd), [&](std::int32_t lba, ConstBytes blocks) {
            for (std::size_t i = 0; i < blocks.size() / 4; ++i) {
                samples[static_cast<std::size_t>(lba - from) * 588 + i] = Le32(blocks, i * 4);
            }
            return true;
        });
    if (!read.ok) {
        result.error = "block " + std::to_string(read.failedAt) + " cannot be read: " + mmc.ErrorMessage();
        return result;
    }
    // FindOffsets wants exactly `margin` samples each side of the track.
    const auto skip = static_cast<std::size_t>(around * 588 - margin);
    const std::span<const std::uint32_t> window(samples.data() + skip, samples.size() - 2 * skip);
    result.offsets =
        sums::FindOffsets(window, static_cast<std::size_t>(margin), firstTrack, lastTrack, knownV1);
    return result;
}

} // namespace tolvane::rip
