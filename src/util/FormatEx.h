// Numbers as display text: hexadecimal, network and hardware addresses,
// memory sizes and volume serial numbers.
#pragma once

#include "util/FixedPoint.h"

#include <cstdint>
#include <locale>
#include <span>
#include <string>
#include <string_view>

namespace tolvane {

class FormatEx {
public:
    // Upper-case hexadecimal, padded with "0" on the left to `digits` characters, never cut; a
    // negative number gives its eight-digit two's-complement form. A delimiter "0x" goes in front,
    // "h" behind (either compared without regard to case, added as passed); any other is dropped.
    static std::string FormatHex(std::int32_t number, std::int16_t digits, std::string_view delimiter = {});
    // As above; a negative 16-bit number gives its four-digit form.
    static std::string FormatHex(std::int16_t number, std::int16_t digits, std::string_view delimiter = {});

    // "10.0.0.1" from the first four bytes; empty when fewer than four.
    static std::string FormatIP4(std::span<const std::uint8_t> address);
    // The first six groups in unpadded hexadecimal joined by ":"; empty when fewer than six.
    static std::string FormatIP6(std::span<const std::int16_t> address);
    // "00-A0-C9-14-C8-29" from the first six bytes; empty when fewer than six.
    static std::string FormatMAC(std::span<const std::uint8_t> address);

    // `size` bytes in the unit 1 KB, 2 MB, 3 GB, 4 TB (any other: bytes), rounded to a whole
    // number (halves away from zero) and grouped by thousands: "1,234,567 bytes", "2 KB".
    // The first form uses the user's locale, the second the one given.
    static std::string FormatMemory(FixedPoint size, std::int32_t unit);
    static std::string FormatMemory(FixedPoint size, std::int32_t unit, const std::locale& locale);

    // "1A2B-3C4D": eight hexadecimal digits split in two halves.
    static std::string FormatSerialNumber(std::int32_t number);
};

} // namespace tolvane
