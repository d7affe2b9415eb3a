#include "rip/output/FileName.h"

#include <array>
#include <cstdio>

namespace tolvane::rip {

namespace {

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string Cleaned(const std::string& name)
{
    constexpr std::string_view refused = "/\\:*?\"<>|";
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (refused.find(c) != std::string_view::npos)
            out += '_';
        else if (c == '\t' || c == '\n' || c == '\r')
            out += ' ';
        else if (byte >= 0x20 && byte != 0x7F)
            out += c;
    }
    return out;
}

// Dots and spaces at the start hide a file or look like an option; at the end Windows drops them.
std::string Trimmed(const std::string& name)
{
    const std::size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos)
        return {};
    const std::size_t last = name.find_last_not_of(". ");
    return name.substr(first, last - first + 1);
}

// Windows opens the device for CON, NUL, COM1 ... whatever extension follows.
std::string NotADevice(std::string name)
{
    static constexpr std::array<std::string_view, 22> devices = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    std::size_t stem = name.find('.');
    if (stem == std::string::npos)
        stem = name.size();
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    std::string upper = name.substr(0, stem);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (const std::string_view device : devices)
        if (upper == device)
            return name.substr(0, stem) + "_" + name.substr(stem);
    return name;
}

// Cut at a character's first byte, never inside a UTF-8 sequence.
std::string Shortened(std::string name)
{
    if (name.size() <= MaxNameBytes)
        return name;
    std::size_t end = MaxNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    name.resize(end);
    return name;
}

} // namespace

std::string FileNameFromTemplate(std::string_view pattern, const NameFields& fields)
{
    const std::string fallback = "Track " + std::to_string(fields.track);
    std::string name;
    bool namesText = false;
    bool anyText = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            name += pattern[i];
            continue;
        }
        const char code = pattern[++i];
        const std::string* text = nullptr;
        switch (code) {
        case 'N': {
            char number[16];
            std::snprintf(number, sizeof number, "%02d", fields.track);
            name += number;
            break;
        }
        case 'n':
            name += std::to_string(fields.track);
            break;
        case 't':
            text = &fields.title;
            break;
        case 'a':
            text = &fields.artist;
            break;
        case 'T':
            text = &fields.album;
            break;
        case 'A':
            text = &fields.albumArtist;
            break;
        case '%':
            name += '%';
            break;
        default:
            name += '%';
            name += code;
            break;
        }
        if (text != nullptr) {
            namesText = true;
            anyText = anyText || !IsBlank(*text);
            name += *text;
        }
    }
    if (namesText && !anyText)
        return fallback;
    // Shortening can leave a dot or space at the end again.
    name = Trimmed(Shortened(NotADevice(Trimmed(Cleaned(name)))));
    return name.empty() ? fallback : name;
}

} // namespace tolvane::rip
