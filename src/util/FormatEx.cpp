#include "util/FormatEx.h"

#include <cstddef>
#include <sstream>
#include <stdexcept>

namespace tolvane {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string Hex(std::uint32_t value, std::int16_t digits, std::string_view delimiter)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), Digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (digits > 0 && text.size() < static_cast<std::size_t>(digits))
        text = std::string(static_cast<std::size_t>(digits) - text.size(), '0') + text;

    if (EqualsNoCase(delimiter, "0x"))
        return std::string(delimiter) + text;
    if (EqualsNoCase(delimiter, "h"))
        text += delimiter;
    return text;
}

// The user's locale for number grouping; the classic one when the environment names a locale
// that is not installed.
std::locale UserLocale()
{
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

} // namespace

std::string FormatEx::FormatHex(std::int32_t number, std::int16_t digits, std::string_view delimiter)
{
    return Hex(static_cast<std::uint32_t>(number), digits, delimiter);
}

std::string FormatEx::FormatHex(std::int16_t number, std::int16_t digits, std::string_view delimiter)
{
    return Hex(static_cast<std::uint16_t>(number), digits, delimiter);
}

std::string FormatEx::FormatIP4(std::span<const std::uint8_t> address)
{
    if (address.size() < 4)
        return {};
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(address[i]);
    }
    return text;
}

std::string FormatEx::FormatIP6(std::span<const std::int16_t> address)
{
    // Six groups, not eight: that is what this helper has always shown.
    if (address.size() < 6)
        return {};
    std::string text;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0)
            text += ':';
        text += FormatHex(address[i], 0);
    }
    return text;
}

std::string FormatEx::FormatMAC(std::span<const std::uint8_t> address)
{
    if (address.size() < 6)
        return {};
    std::string text;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0)
            text += '-';
        text += FormatHex(std::int32_t{address[i]}, 2);
    }
    return text;
}

std::string FormatEx::FormatMemory(FixedPoint size, std::int32_t unit)
{
    static const std::locale user = UserLocale();
    return FormatMemory(size, unit, user);
}

std::string FormatEx::FormatMemory(FixedPoint size, std::int32_t unit, const std::locale& locale)
{
    struct Unit {
        std::int64_t divisor;
        const char* suffix;
    };
    static constexpr Unit Units[] = {{1, " bytes"},
                                     {std::int64_t{1} << 10, " KB"},
                                     {std::int64_t{1} << 20, " MB"},
                                     {std::int64_t{1} << 30, " GB"},
                                     {std::int64_t{1} << 40, " TB"}};
    const Unit& chosen = unit >= 1 && unit <= 4 ? Units[unit] : Units[0];

    // Divided and rounded in integers rather than through a double: the raw value of a size
    // beyond about 900 GB has more digits than a double holds, and a byte count must be exact.
    // Scale * 2^40 still fits in 64 bits.
    const std::int64_t denominator = FixedPoint::Scale * chosen.divisor;
    std::int64_t whole = size.Raw() / denominator;
    const std::int64_t remainder = size.Raw() % denominator;
    if (remainder >= denominator - remainder)
        ++whole;
    else if (-remainder >= denominator + remainder)
        --whole;

    // The stream's num_put groups the digits as the locale's numpunct says.
    std::ostringstream text;
    text.imbue(locale);
    text << whole << chosen.suffix;
    return text.str();
}

std::string FormatEx::FormatSerialNumber(std::int32_t number)
{
    const std::string hex = FormatHex(number, 8);
    return hex.substr(0, 4) + "-" + hex.substr(4);
}

} // namespace tolvane
