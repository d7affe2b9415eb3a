// A signed 64-bit number with four decimal places (a value scaled by 10,000).
//
// Byte sizes of tracks and discs are held in it: whole numbers of bytes well
// beyond 32 bits (a dual-layer DVD holds more than 8.5e9 bytes; the range
// reaches about 9.2e14). Arithmetic that leaves the range throws
// std::overflow_error, as the helpers that use it document.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace tolvane {

class FixedPoint {
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr FixedPoint() = default;

    // The value n (a whole number); throws std::overflow_error when n * Scale does not fit.
    static FixedPoint FromWhole(std::int64_t n);
    // The value raw / Scale.
    static constexpr FixedPoint FromRaw(std::int64_t raw)
    {
        FixedPoint f;
        f.raw_ = raw;
        return f;
    }

    constexpr std::int64_t Raw() const { return raw_; }
    // The whole part, truncated toward zero.
    constexpr std::int64_t Whole() const { return raw_ / Scale; }
    constexpr bool IsWhole() const { return raw_ % Scale == 0; }
    double ToDouble() const { return static_cast<double>(raw_) / Scale; }

    FixedPoint operator+(FixedPoint other) const;
    FixedPoint operator-(FixedPoint other) const;
    // Multiplication by a whole number (bytes per block times blocks).
    FixedPoint operator*(std::int64_t n) const;

    constexpr auto operator<=>(const FixedPoint&) const = default;

    // "1234" or "-12.5" (no grouping, trailing decimal zeros dropped).
    std::string ToString() const;

private:
    std::int64_t raw_ = 0;
};

} // namespace tolvane
