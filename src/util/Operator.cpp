#include "util/Operator.h"

#include <limits>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::int64_t TwoTo32 = std::int64_t{1} << 32;

} // namespace

std::int32_t Operator::Integer2Unsigned(std::int16_t w)
{
    return static_cast<std::uint16_t>(w);
}

FixedPoint Operator::Long2Unsigned(std::int32_t d)
{
    return FixedPoint::FromWhole(static_cast<std::uint32_t>(d));
}

std::int32_t Operator::RotateLeft(std::int32_t d, std::uint8_t b)
{
    if (b > 32)
        throw std::overflow_error("RotateLeft: count above 32");
    return ShiftLeft(d, b) | ShiftRight(d, static_cast<std::uint8_t>(32 - b));
}

std::int32_t Operator::RotateRight(std::int32_t d, std::uint8_t b)
{
    if (b > 32)
        throw std::overflow_error("RotateRight: count above 32");
    return ShiftRight(d, b) | ShiftLeft(d, static_cast<std::uint8_t>(32 - b));
}

// Shifted as unsigned: a left shift of a negative number and a count of 32 or more are undefined
// for the built-in operators, so both are handled here.
std::int32_t Operator::ShiftLeft(std::int32_t d, std::uint8_t b)
{
    if (b >= 32)
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(d) << b);
}

std::int32_t Operator::ShiftRight(std::int32_t d, std::uint8_t b)
{
    if (b >= 32)
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(d) >> b);
}

std::int16_t Operator::Unsigned2Integer(std::int32_t d)
{
    if (d < -32768 || d > 65535)
        throw std::overflow_error("Unsigned2Integer: value out of range");
    return static_cast<std::int16_t>(d > 32767 ? d - 65536 : d);
}

std::int32_t Operator::Unsigned2Long(FixedPoint q)
{
    constexpr std::int64_t Scale = FixedPoint::Scale;
    constexpr std::int64_t Low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t High = std::numeric_limits<std::int32_t>::max();

    std::int64_t raw = q.Raw();
    if (raw < Low * Scale || raw > (TwoTo32 - 1) * Scale)
        throw std::overflow_error("Unsigned2Long: value out of range");
    if (raw > High * Scale)
        raw -= TwoTo32 * Scale;

    // Floor division, then the fraction decides; an exact half goes to the even neighbour.
    std::int64_t whole = raw / Scale;
    std::int64_t fraction = raw % Scale;
    if (fraction < 0) {
        --whole;
        fraction += Scale;
    }
    if (fraction * 2 > Scale || (fraction * 2 == Scale && whole % 2 != 0))
        ++whole;

    // Just above 2147483647 becomes just below -2147483648, which rounds out of range.
    if (whole < Low || whole > High)
        throw std::overflow_error("Unsigned2Long: value out of range");
    return static_cast<std::int32_t>(whole);
}

} // namespace tolvane
