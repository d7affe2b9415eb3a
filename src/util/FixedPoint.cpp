#include "util/FixedPoint.h"

#include <limits>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
// Decimal places of Scale.
constexpr std::size_t FractionDigits = 4;

} // namespace

FixedPoint FixedPoint::FromWhole(std::int64_t n)
{
    if (n > Max / Scale || n < Min / Scale)
        throw std::overflow_error("FixedPoint: whole number out of range");
    return FromRaw(n * Scale);
}

FixedPoint FixedPoint::operator+(FixedPoint other) const
{
    // Checked before adding: signed overflow is undefined, so it cannot be detected afterwards.
    if ((other.raw_ > 0 && raw_ > Max - other.raw_) || (other.raw_ < 0 && raw_ < Min - other.raw_))
        throw std::overflow_error("FixedPoint: sum out of range");
    return FromRaw(raw_ + other.raw_);
}

FixedPoint FixedPoint::operator-(FixedPoint other) const
{
    if ((other.raw_ < 0 && raw_ > Max + other.raw_) || (other.raw_ > 0 && raw_ < Min + other.raw_))
        throw std::overflow_error("FixedPoint: difference out of range");
    return FromRaw(raw_ - other.raw_);
}

FixedPoint FixedPoint::operator*(std::int64_t n) const
{
    if (raw_ != 0 && n != 0) {
        // Compare magnitudes in unsigned arithmetic; the limit is one larger for a negative product.
        const bool negative = (raw_ < 0) != (n < 0);
        const auto magnitude = [](std::int64_t v) {
            return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        };
        const std::uint64_t limit = negative ? magnitude(Min) : static_cast<std::uint64_t>(Max);
        if (magnitude(raw_) > limit / magnitude(n))
            throw std::overflow_error("FixedPoint: product out of range");
        const std::uint64_t product = magnitude(raw_) * magnitude(n);
        return FromRaw(negative ? static_cast<std::int64_t>(0 - product)
                                : static_cast<std::int64_t>(product));
    }
    return FromRaw(0);
}

std::string FixedPoint::ToString() const
{
    const std::uint64_t magnitude =
        raw_ < 0 ? 0 - static_cast<std::uint64_t>(raw_) : static_cast<std::uint64_t>(raw_);
    std::string text = raw_ < 0 ? "-" : "";
    text += std::to_string(magnitude / Scale);
    auto fraction = magnitude % Scale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, FractionDigits - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.';
        text += digits;
    }
    return text;
}

} // namespace tolvane
