// 32-bit unsigned arithmetic on signed numbers: reading a signed value as
// unsigned and back, logical shifts and rotations.
#pragma once

#include "util/FixedPoint.h"

#include <cstdint>

namespace tolvane {

class Operator {
public:
    // `w` read as unsigned: 0 .. 65535.
    static std::int32_t Integer2Unsigned(std::int16_t w);
    // `d` read as unsigned: 0 .. 4294967295.
    static FixedPoint Long2Unsigned(std::int32_t d);

    // Rotations within 32 bits; a count above 32 throws std::overflow_error.
    static std::int32_t RotateLeft(std::int32_t d, std::uint8_t b);
    static std::int32_t RotateRight(std::int32_t d, std::uint8_t b);

    // Logical shifts within 32 bits: zeros come in at either end, also for negative `d`;
    // a count of 32 or more gives 0.
    static std::int32_t ShiftLeft(std::int32_t d, std::uint8_t b);
    static std::int32_t ShiftRight(std::int32_t d, std::uint8_t b);

    // 0 .. 65535 back to a signed 16-bit number (32768 and above wrap to negative);
    // throws std::overflow_error outside -32768 .. 65535.
    static std::int16_t Unsigned2Integer(std::int32_t d);
    // 0 .. 4294967295 back to a signed 32-bit number, rounded to a whole number with halves to
    // the even neighbour; throws std::overflow_error outside -2147483648 .. 4294967295 and when
    // the rounded result does not fit 32 bits.
    static std::int32_t Unsigned2Long(FixedPoint q);
};

} // namespace tolvane
