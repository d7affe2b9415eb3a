#include "util/FixedPoint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>

namespace tolvane {
namespace {

constexpr std::int64_t Max64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Min64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t TwoTo40 = std::int64_t{1} << 40;

TEST(FixedPointTest, ToStringAndArithmeticBeyond32BitsIsExact)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {12340000, "1234"}, {-125000, "-12.5"}, {1, "0.0001"}, {Min64, "-922337203685477.5808"}};
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(FixedPoint::FromRaw(raw).ToString(), expected) << raw;
    const FixedPoint big = FixedPoint::FromWhole(TwoTo40 + 1);
    EXPECT_EQ((big - FixedPoint::FromWhole(2)).Whole(), TwoTo40 - 1);
    EXPECT_EQ((FixedPoint::FromWhole(2048) * 4173824).ToString(), "8547991552"); // a dual-layer DVD's blocks
    EXPECT_EQ((FixedPoint::FromWhole(-3) * -TwoTo40).Whole(), 3 * TwoTo40);
}

TEST(FixedPointTest, OverflowThrowsButTheEdgesAreReachable)
{
    const FixedPoint max = FixedPoint::FromRaw(Max64), min = FixedPoint::FromRaw(Min64),
                     one = FixedPoint::FromRaw(1);
    const std::function<FixedPoint()> cases[] = {
        [] { return FixedPoint::FromWhole(Max64 / FixedPoint::Scale + 1); },
        [&] { return max + one; },
        [&] { return FixedPoint() - min; },
        [&] { return FixedPoint::FromRaw(Max64 / 2 + 1) * 2; },
        [&] { return min * -1; },
        [&] { return FixedPoint::FromRaw(Max64 / 3) * -4; }};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_THROW(cases[i](), std::overflow_error) << "case " << i;
    EXPECT_EQ(FixedPoint::FromWhole(Min64 / FixedPoint::Scale).Whole(), Min64 / FixedPoint::Scale);
    EXPECT_EQ((FixedPoint::FromRaw(-1) - max).Raw(), Min64);
    EXPECT_EQ((FixedPoint::FromRaw(Min64 / 2) * 2).Raw(), Min64);
}

} // namespace
} // namespace tolvane
