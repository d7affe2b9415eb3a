#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace tolvane {
namespace {

using Six = std::array<std::uint8_t, 6>;

// High bits set everywhere, so a sign extension or a lost byte shows.
TEST(ByteOrderTest, RoundTrips)
{
    const struct {
        const char* name;
        void (*put)(Bytes);
        std::uint32_t (*get)(ConstBytes);
        std::uint32_t value;
        Six layout;
    } cases[] = {{"Be16",
                  [](Bytes b) { PutBe16(b, 1, 0xFEDC); },
                  [](ConstBytes b) -> std::uint32_t { return Be16(b, 1); },
                  0xFEDC,
                  {0, 0xFE, 0xDC, 0, 0, 0}},
                 {"Be24",
                  [](Bytes b) { PutBe24(b, 1, 0xFEDCBA); },
                  [](ConstBytes b) { return Be24(b, 1); },
                  0xFEDCBA,
                  {0, 0xFE, 0xDC, 0xBA, 0, 0}},
                 {"Be32",
                  [](Bytes b) { PutBe32(b, 2, 0xFEDCBA98); },
                  [](ConstBytes b) { return Be32(b, 2); },
                  0xFEDCBA98,
                  {0, 0, 0xFE, 0xDC, 0xBA, 0x98}},
                 {"Le16",
                  [](Bytes b) { PutLe16(b, 1, 0xFEDC); },
                  [](ConstBytes b) -> std::uint32_t { return Le16(b, 1); },
                  0xFEDC,
                  {0, 0xDC, 0xFE, 0, 0, 0}},
                 {"Le32",
                  [](Bytes b) { PutLe32(b, 2, 0xFEDCBA98); },
                  [](ConstBytes b) { return Le32(b, 2); },
                  0xFEDCBA98,
                  {0, 0, 0x98, 0xBA, 0xDC, 0xFE}}};
    for (const auto& c : cases) {
        Six buffer{};
        c.put(buffer);
        EXPECT_EQ(buffer, c.layout) << c.name;
        EXPECT_EQ(c.get(buffer), c.value) << c.name;
    }
}

} // namespace
} // namespace tolvane
