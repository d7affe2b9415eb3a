#include "util/StringEx.h"

#include <limits>
#include <new>
#include <optional>
#include <utility>

namespace tolvane {

namespace {

// Letter pairs outside the two contiguous Latin-1 blocks: the letters that the Western Windows
// code page adds, which disc texts converted from it may carry.
struct CasePair {
    char32_t upper;
    char32_t lower;
};
constexpr CasePair ExtraPairs[] = {
    {U'\u0152', U'\u0153'}, // Œ œ
    {U'\u0160', U'\u0161'}, // Š š
    {U'\u0178', U'\u00FF'}, // Ÿ ÿ
    {U'\u017D', U'\u017E'}, // Ž ž
};

// Latin-1 capitals À..Þ map to à..þ, 0x20 apart, except the multiplication sign (×, ÷).
constexpr bool IsLatin1Upper(char32_t c)
{
    return (c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

constexpr bool IsLatin1Lower(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
}

constexpr char32_t ToLower(char32_t c)
{
    if (IsLatin1Upper(c))
        return c + 0x20;
    for (const auto& pair : ExtraPairs)
        if (pair.upper == c)
            return pair.lower;
    return c;
}

constexpr char32_t ToUpper(char32_t c)
{
    if (IsLatin1Lower(c))
        return c - 0x20;
    for (const auto& pair : ExtraPairs)
        if (pair.lower == c)
            return pair.upper;
    return c;
}

// Decodes the UTF-8 sequence at `pos` and moves past it; an invalid byte decodes to nothing and
// is skipped on its own.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    std::size_t length = 0;
    char32_t value = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3;
        value = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + length > text.size())
        return std::nullopt;
    for (std::size_t i = 0; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        value = value << 6 | (next & 0x3F);
    }
    pos += length;
    return value;
}

template <typename Map> bool EqualsMapped(std::string_view text, Map map)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = NextCodePoint(text, pos);
        if (c && map(*c) != *c)
            return false;
    }
    return true;
}

} // namespace

bool StringEx::Enumerate(const std::string& buffer, const std::string& delimiter, std::int16_t& count,
                         std::vector<std::string>& items)
{
    count = 0;
    items.clear();
    try {
        std::vector<std::string> pieces;
        const auto keep = [&pieces](std::string_view piece) {
            if (piece.empty())
                return true;
            if (pieces.size() >= static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
                return false;
            pieces.emplace_back(piece);
            return true;
        };

        const std::string_view text = buffer;
        bool fits = true;
        if (delimiter.empty()) {
            fits = keep(text);
        } else {
            std::size_t start = 0;
            std::size_t at = text.find(delimiter);
            while (fits && at != std::string_view::npos) {
                fits = keep(text.substr(start, at - start));
                start = at + delimiter.size();
                at = text.find(delimiter, start);
            }
            fits = fits && keep(text.substr(start));
        }
        if (!fits)
            return false;

        count = static_cast<std::int16_t>(pieces.size());
        items = std::move(pieces);
        return count > 0;
    } catch (const std::bad_alloc&) {
        count = 0;
        items.clear();
        return false;
    }
}

std::string StringEx::Extract(std::string_view buffer, std::string_view begindelimiter,
                              std::string_view enddelimiter)
{
    const std::size_t begin = buffer.find(begindelimiter);
    if (begin == std::string_view::npos)
        return {};
    const std::size_t start = begin + begindelimiter.size();
    const std::size_t end = buffer.find(enddelimiter, start);
    if (end == std::string_view::npos)
        return {};
    return std::string(buffer.substr(start, end - start));
}

bool StringEx::IsLowerCase(std::string_view buffer)
{
    return EqualsMapped(buffer, ToLower);
}

bool StringEx::IsUpperCase(std::string_view buffer)
{
    return EqualsMapped(buffer, ToUpper);
}

std::string StringEx::ZTrim(std::string_view buffer)
{
    return std::string(buffer.substr(0, buffer.find('\0')));
}

} // namespace tolvane
