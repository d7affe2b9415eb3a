#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace tolvane {
namespace {

using Six = std::array<std::uint8_t, 6>;

// Writes into a zeroed buffer, checks the layout, reads back. High bits are set everywhere, so a sign
// extension or a lost byte shows.
template <typename Put, typename Get> void RoundTrip(Put put, Get get, std::uint32_t value, const Six& layout)
{
    Six buffer{};
    put(buffer);
    EXPECT_EQ(buffer, layout);
    EXPECT_EQ(get(buffer), value);
}

TEST(ByteOrderTest, RoundTrips)
{
    RoundTrip([](Bytes b) { PutBe16(b, 1, 0xFEDC); }, [](ConstBytes b) { return Be16(b, 1); }, 0xFEDC,
              {0, 0xFE, 0xDC, 0, 0, 0});
    RoundTrip([](Bytes b) { PutBe24(b, 1, 0xFEDCBA); }, [](ConstBytes b) { return Be24(b, 1); }, 0xFEDCBA,
              {0, 0xFE, 0xDC, 0xBA, 0, 0});
    RoundTrip([](Bytes b) { PutBe32(b, 2, 0xFEDCBA98); }, [](ConstBytes b) { return Be32(b, 2); }, 0xFEDCBA98,
              {0, 0, 0xFE, 0xDC, 0xBA, 0x98});
    RoundTrip([](Bytes b) { PutLe16(b, 1, 0xFEDC); }, [](ConstBytes b) { return Le16(b, 1); }, 0xFEDC,
              {0, 0xDC, 0xFE, 0, 0, 0});
    RoundTrip([](Bytes b) { PutLe32(b, 2, 0xFEDCBA98); }, [](ConstBytes b) { return Le32(b, 2); }, 0xFEDCBA98,
              {0, 0, 0x98, 0xBA, 0xDC, 0xFE});
}

} // namespace
} // namespace tolvane
