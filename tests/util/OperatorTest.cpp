#include "util/Operator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

namespace tolvane {
namespace {

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();

struct ShiftCase {
    std::int32_t d;
    std::uint8_t b;
    std::int32_t left, right;
};

TEST(OperatorTest, ShiftsAndRotations)
{
    const ShiftCase shifts[] = {{-1, 0, -1, -1},
                                {3, 31, Min32, 0},
                                {-1, 31, Min32, 1},
                                {Min32, 1, 0, 0x40000000},
                                {0x12345678, 4, 0x23456780, 0x01234567},
                                {-1, 32, 0, 0}};
    for (const auto& c : shifts) {
        EXPECT_EQ(Operator::ShiftLeft(c.d, c.b), c.left) << c.d << " by " << int{c.b};
        EXPECT_EQ(Operator::ShiftRight(c.d, c.b), c.right) << c.d << " by " << int{c.b};
    }
    const ShiftCase rotations[] = {
        {static_cast<std::int32_t>(0x80000001u), 1, 3, static_cast<std::int32_t>(0xC0000000u)},
        {0x12345678, 32, 0x12345678, 0x12345678},
        {0x12345678, 8, 0x34567812, 0x78123456}};
    for (const auto& c : rotations) {
        EXPECT_EQ(Operator::RotateLeft(c.d, c.b), c.left) << c.d << " by " << int{c.b};
        EXPECT_EQ(Operator::RotateRight(c.d, c.b), c.right) << c.d << " by " << int{c.b};
    }
    for (const std::uint8_t b : {33, 255}) {
        EXPECT_THROW(Operator::RotateLeft(1, b), std::overflow_error) << int{b};
        EXPECT_THROW(Operator::RotateRight(1, b), std::overflow_error) << int{b};
    }
}

TEST(OperatorTest, SixteenAndThirtyTwoBitUnsigned)
{
    const std::pair<std::int16_t, std::int32_t> cases16[] = {
        {0, 0}, {32767, 32767}, {-32768, 32768}, {-1, 65535}};
    for (const auto& [w, unsignedValue] : cases16) {
        EXPECT_EQ(Operator::Integer2Unsigned(w), unsignedValue) << w;
        EXPECT_EQ(Operator::Unsigned2Integer(unsignedValue), w) << unsignedValue;
    }
    // Negative inputs down to -32768 are already signed and pass through.
    EXPECT_EQ(Operator::Unsigned2Integer(-32768), -32768);
    for (const std::int32_t d : {-32769, 65536, Max32, Min32})
        EXPECT_THROW(Operator::Unsigned2Integer(d), std::overflow_error) << d;

    const std::pair<std::int32_t, std::int64_t> cases32[] = {
        {0, 0}, {Max32, 2147483647}, {Min32, 2147483648}, {-1, 4294967295}};
    for (const auto& [d, unsignedValue] : cases32) {
        EXPECT_EQ(Operator::Long2Unsigned(d), FixedPoint::FromWhole(unsignedValue)) << d;
        EXPECT_EQ(Operator::Unsigned2Long(FixedPoint::FromWhole(unsignedValue)), d) << unsignedValue;
    }
}

TEST(OperatorTest, Unsigned2LongRoundsHalvesToEvenAndOverflows)
{
    // Raw values are in ten-thousandths.
    const std::pair<std::int64_t, std::int32_t> cases[] = {
        {25000, 2},
        {35000, 4},
        {-25000, -2},
        {25001, 3},
        {-5000, 0},
        {-21474836480000, Min32},
        {21474836470000, Max32},
        {42949672945000, -2},   // 4294967294.5 is -1.5
        {21474836475000, Min32} // 2147483647.5 is -2147483648.5, to the even neighbour
    };
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(Operator::Unsigned2Long(FixedPoint::FromRaw(raw)), expected) << raw;
    const std::int64_t overflows[] = {
        -21474836480001, // just below -2147483648
        42949672960000,  // 4294967296
        42949672950001,  // just above 4294967295
        21474836472500   // 2147483647.25 is -2147483648.75, which rounds below the range
    };
    for (const std::int64_t raw : overflows)
        EXPECT_THROW(Operator::Unsigned2Long(FixedPoint::FromRaw(raw)), std::overflow_error) << raw;
}

} // namespace
} // namespace tolvane
