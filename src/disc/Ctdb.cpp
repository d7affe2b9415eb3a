#include "disc/Ctdb.h"

#include "disc/Checksums.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace tolvane::ctdb {
namespace {

// The value of attribute `name` in the element text `element`, or nothing.
std::optional<std::string> Attribute(std::string_view element, std::string_view name)
{
    for (std::size_t at = element.find(name); at != std::string_view::npos; at = element.find(name, at + 1)) {
        // A whole attribute name: after white space, before '=' (with optional spaces).
        if (at == 0 || (element[at - 1] != ' ' && element[at - 1] != '\t' && element[at - 1] != '\n')) {
            continue;
        }
        std::size_t p = at + name.size();
        while (p < element.size() && element[p] == ' ') {
            ++p;
        }
        if (p >= element.size() || element[p] != '=') {
            continue;
        }
        ++p;
        while (p < element.size() && element[p] == ' ') {
            ++p;
        }
        if (p >= element.size() || (element[p] != '"' && element[p] != '\'')) {
            return std::nullopt;
        }
        const std::size_t end = element.find(element[p], p + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        return std::string(element.substr(p + 1, end - p - 1));
    }
    return std::nullopt;
}

bool ReadHex(const std::string& text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 8 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        })) {
        return false;
    }
    value = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

} // namespace

std::string TocText(const ids::TocLayout& toc)
{
    std::string text;
    for (const ids::TocTrack& t : toc.tracks) {
        if (!t.audio) {
            text += '-';
        }
        text += std::to_string(t.lba);
        text += ':';
    }
    return text + std::to_string(toc.leadOut);
}

std::uint64_t AudioSamples(const ids::TocLayout& toc)
{
    const auto first =
        std::find_if(toc.tracks.begin(), toc.tracks.end(), [](const auto& t) { return t.audio; });
    if (first == toc.tracks.end()) {
        return 0;
    }
    const std::int32_t origin = first == toc.tracks.begin() ? 0 : first->lba;
    return static_cast<std::uint64_t>(std::max(0, ids::AudioEnd(toc) - origin)) * sums::SamplesPerSector;
}

Response Decode(const std::string& xml)
{
    Response r;
    const std::size_t root = xml.find("<ctdb");
    if (root == std::string::npos || xml.find("<html") < root || xml.find("<HTML") < root) {
        r.error = "the answer is not a CUETools database answer";
        return r;
    }
    for (std::size_t at = xml.find("<entry", root); at != std::string::npos;
         at = xml.find("<entry", at + 1)) {
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) {
            r.error = "the answer is truncated";
            r.entries.clear();
            return r;
        }
        const std::string_view element(xml.data() + at, end - at);
        const auto confidence = Attribute(element, "confidence");
        const auto crc = Attribute(element, "crc32");
        const auto tracks = Attribute(element, "trackcrcs");
        Entry e;
        char* stop = nullptr;
        bool good = confidence && crc && tracks && ReadHex(*crc, e.crc);
        if (good) {
            e.confidence = static_cast<unsigned>(std::strtoul(confidence->c_str(), &stop, 10));
            good = !confidence->empty() && *stop == '\0';
        }
        for (std::size_t p = 0; good && tracks && p < tracks->size();) {
            const std::size_t q = std::min(tracks->find(' ', p), tracks->size());
            std::uint32_t value = 0;
            good = ReadHex(tracks->substr(p, q - p), value);
            e.tracks.push_back(value);
            p = tracks->find_first_not_of(' ', q);
        }
        if (!good) {
            r.error = "the answer lists an entry that does not read";
            r.entries.clear();
            return r;
        }
        r.entries.push_back(std::move(e));
    }
    return r;
}

namespace {

template <typename Crc> Verdict CheckWith(const Response& response, Crc crcOf)
{
    Verdict v;
    for (const Entry& e : response.entries) {
        if (const auto listed = crcOf(e)) {
            v.present = true;
            v.total += e.confidence;
            v.confidence += *listed ? e.confidence : 0;
        }
    }
    return v;
}

} // namespace

Verdict CheckTrack(const Response& response, std::size_t audioTrack, std::uint32_t crc)
{
    return CheckWith(response, [&](const Entry& e) -> std::optional<bool> {
        if (audioTrack >= e.tracks.size()) {
            return std::nullopt;
        }
        return e.tracks[audioTrack] == crc;
    });
}

Verdict CheckDisc(const Response& response, std::uint32_t crc)
{
    return CheckWith(response, [&](const Entry& e) -> std::optional<bool> { return e.crc == crc; });
}

std::string Text(const Verdict& verdict)
{
    if (!verdict.present) {
        return "not present in database";
    }
    const std::string counts = std::to_string(verdict.confidence) + " of " + std::to_string(verdict.total);
    return verdict.confidence > 0 ? "accurately ripped (confidence " + counts + ")"
                                  : "mismatch (" + counts + ")";
}

} // namespace tolvane::ctdb
