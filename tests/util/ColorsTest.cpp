#include "util/Colors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tolvane {
namespace {

class ColorsTest : public testing::Test {
protected:
    void TearDown() override { Colors::ResetSystemColors(); }
};

TEST_F(ColorsTest, TranslateAndScreenRgb)
{
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {Colors::Rgb(0x12, 0x34, 0x56), 0x563412},
        {Colors::ButtonFace, Colors::Rgb(212, 208, 200)},
        {Colors::SystemColor | 30, Colors::Rgb(212, 208, 200)}, // the menu bar, last in the table
        {Colors::SystemColor | 31, -1},
        // Palette indexes and palette-relative colours come back as they are, as OleTranslateColor gives
        // them without a palette.
        {0x01000005, 0x01000005},
        {0x02123456, 0x02123456},
        {0x03000000, -1},
        {0xFF000000, -1}};
    for (const auto& [clr, expected] : cases)
        EXPECT_EQ(Colors::Translate(clr), expected) << std::hex << clr;

    EXPECT_EQ(Colors::ScreenRgb(0x00563412), 0x563412u);
    EXPECT_EQ(Colors::ScreenRgb(0x02563412), 0x563412u);
    EXPECT_EQ(Colors::ScreenRgb(0x01000009), Colors::Rgb(166, 202, 240)); // the default palette's sky blue
    EXPECT_EQ(Colors::ScreenRgb(0x01000013), 0xFFFFFFu);                  // its last entry, white
    EXPECT_EQ(Colors::ScreenRgb(0x01000014), 0u);
}

TEST_F(ColorsTest, ReplacedSystemColors)
{
    std::vector<std::uint32_t> palette(40, Colors::Rgb(9, 9, 9));
    palette[0] = Colors::Rgb(1, 2, 3);
    palette[5] = 0xFF123456; // only the RGB part is kept
    Colors::SetSystemColors(palette);
    EXPECT_EQ(Colors::Translate(Colors::ScrollBars), 0x030201);
    EXPECT_EQ(Colors::Translate(Colors::WindowBackground), 0x123456);
    EXPECT_EQ(Colors::Translate(Colors::SystemColor | 30), 0x090909);
    EXPECT_EQ(Colors::Translate(Colors::SystemColor | 31), -1); // the table does not grow
    // A short palette leaves the other indexes at their defaults.
    Colors::SetSystemColors(std::vector<std::uint32_t>{Colors::Rgb(7, 7, 7)});
    EXPECT_EQ(Colors::Translate(Colors::ScrollBars), 0x070707);
    EXPECT_EQ(Colors::Translate(Colors::WindowBackground), 0xFFFFFF);
    Colors::ResetSystemColors();
    EXPECT_EQ(Colors::Translate(Colors::ScrollBars), Colors::Rgb(212, 208, 200));
}

} // namespace
} // namespace tolvane
