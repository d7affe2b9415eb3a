#include "util/Colors.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace tolvane {

namespace {

using Table = std::array<std::uint32_t, Colors::SystemColorCount>;

// The "Windows Standard" classic scheme, the defaults of Windows 2000.
constexpr Table Defaults = {
    Colors::Rgb(212, 208, 200), // 0 COLOR_SCROLLBAR
    Colors::Rgb(58, 110, 165),  // 1 COLOR_BACKGROUND
    Colors::Rgb(10, 36, 106),   // 2 COLOR_ACTIVECAPTION
    Colors::Rgb(128, 128, 128), // 3 COLOR_INACTIVECAPTION
    Colors::Rgb(212, 208, 200), // 4 COLOR_MENU
    Colors::Rgb(255, 255, 255), // 5 COLOR_WINDOW
    Colors::Rgb(0, 0, 0),       // 6 COLOR_WINDOWFRAME
    Colors::Rgb(0, 0, 0),       // 7 COLOR_MENUTEXT
    Colors::Rgb(0, 0, 0),       // 8 COLOR_WINDOWTEXT
    Colors::Rgb(255, 255, 255), // 9 COLOR_CAPTIONTEXT
    Colors::Rgb(212, 208, 200), // 10 COLOR_ACTIVEBORDER
    Colors::Rgb(212, 208, 200), // 11 COLOR_INACTIVEBORDER
    Colors::Rgb(128, 128, 128), // 12 COLOR_APPWORKSPACE
    Colors::Rgb(10, 36, 106),   // 13 COLOR_HIGHLIGHT
    Colors::Rgb(255, 255, 255), // 14 COLOR_HIGHLIGHTTEXT
    Colors::Rgb(212, 208, 200), // 15 COLOR_BTNFACE
    Colors::Rgb(128, 128, 128), // 16 COLOR_BTNSHADOW
    Colors::Rgb(128, 128, 128), // 17 COLOR_GRAYTEXT
    Colors::Rgb(0, 0, 0),       // 18 COLOR_BTNTEXT
    Colors::Rgb(212, 208, 200), // 19 COLOR_INACTIVECAPTIONTEXT
    Colors::Rgb(255, 255, 255), // 20 COLOR_BTNHIGHLIGHT
    Colors::Rgb(64, 64, 64),    // 21 COLOR_3DDKSHADOW
    Colors::Rgb(212, 208, 200), // 22 COLOR_3DLIGHT
    Colors::Rgb(0, 0, 0),       // 23 COLOR_INFOTEXT
    Colors::Rgb(255, 255, 225), // 24 COLOR_INFOBK
    Colors::Rgb(181, 181, 181), // 25 (alternate button face)
    Colors::Rgb(0, 0, 128),     // 26 COLOR_HOTLIGHT
    Colors::Rgb(166, 202, 240), // 27 COLOR_GRADIENTACTIVECAPTION
    Colors::Rgb(192, 192, 192), // 28 COLOR_GRADIENTINACTIVECAPTION
    Colors::Rgb(10, 36, 106),   // 29 COLOR_MENUHILIGHT
    Colors::Rgb(212, 208, 200), // 30 COLOR_MENUBAR
};

struct SystemTable {
    std::mutex mutex;
    Table colors = Defaults;
};

SystemTable& System()
{
    static SystemTable table;
    return table;
}

} // namespace

std::int32_t Colors::Translate(std::uint32_t clr, std::intptr_t /*hpal*/)
{
    switch (clr >> 24) {
    case 0x00:
        return static_cast<std::int32_t>(clr);
    case 0x80: {
        // Only the low byte names the index, as OleTranslateColor reads it.
        const std::size_t index = clr & 0xFF;
        if (index >= SystemColorCount)
            return -1;
        SystemTable& table = System();
        const std::lock_guard lock(table.mutex);
        return static_cast<std::int32_t>(table.colors[index]);
    }
    case 0x01: // a palette index
    case 0x02: // palette-relative RGB
        return static_cast<std::int32_t>(clr);
    default:
        return -1;
    }
}

std::uint32_t Colors::ScreenRgb(std::int32_t colorref)
{
    // DEFAULT_PALETTE: the 16 VGA colours and the four the system adds in its middle.
    static constexpr std::array<std::uint32_t, 20> DefaultPalette = {
        Rgb(0, 0, 0),       Rgb(128, 0, 0),     Rgb(0, 128, 0),     Rgb(128, 128, 0),   Rgb(0, 0, 128),
        Rgb(128, 0, 128),   Rgb(0, 128, 128),   Rgb(192, 192, 192), Rgb(192, 220, 192), Rgb(166, 202, 240),
        Rgb(255, 251, 240), Rgb(160, 160, 164), Rgb(128, 128, 128), Rgb(255, 0, 0),     Rgb(0, 255, 0),
        Rgb(255, 255, 0),   Rgb(0, 0, 255),     Rgb(255, 0, 255),   Rgb(0, 255, 255),   Rgb(255, 255, 255),
    };
    const auto value = static_cast<std::uint32_t>(colorref);
    if (value >> 24 == 0x01) {
        const std::uint32_t index = value & 0xFFFF;
        return index < DefaultPalette.size() ? DefaultPalette[index] : DefaultPalette[0];
    }
    return value & 0x00FFFFFF;
}

void Colors::SetSystemColors(std::span<const std::uint32_t> rgb)
{
    Table colors = Defaults;
    const std::size_t n = std::min(rgb.size(), colors.size());
    for (std::size_t i = 0; i < n; ++i)
        colors[i] = rgb[i] & 0x00FFFFFF;
    SystemTable& table = System();
    const std::lock_guard lock(table.mutex);
    table.colors = colors;
}

void Colors::ResetSystemColors()
{
    SetSystemColors({});
}

} // namespace tolvane
