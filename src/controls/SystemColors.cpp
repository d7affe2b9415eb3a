#include "controls/SystemColors.h"

#include "util/Colors.h"

#include <array>
#include <cstdint>

namespace tolvane {

namespace {

std::uint32_t Rgb(const QColor& c)
{
    return Colors::Rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                       static_cast<std::uint8_t>(c.blue()));
}

} // namespace

QColor RgbColor(std::int32_t rgb)
{
    const std::uint32_t screen = Colors::ScreenRgb(rgb);
    return QColor(static_cast<int>(screen & 0xFF), static_cast<int>(screen >> 8 & 0xFF),
                  static_cast<int>(screen >> 16 & 0xFF));
}

QColor OleColor(std::uint32_t clr)
{
    const std::int32_t rgb = Colors::Translate(clr);
    return rgb < 0 ? QColor(Qt::black) : RgbColor(rgb);
}

void UseSystemColors(const QPalette& p)
{
    using R = QPalette::ColorRole;
    const auto active = [&](R role) { return Rgb(p.color(QPalette::Active, role)); };
    const auto inactive = [&](R role) { return Rgb(p.color(QPalette::Inactive, role)); };
    const std::array<std::uint32_t, Colors::SystemColorCount> table = {
        active(R::Button),                                      // 0 scroll bars
        active(R::Dark),                                        // 1 desktop
        active(R::Highlight),                                   // 2 active title bar
        active(R::Mid),                                         // 3 inactive title bar
        active(R::Window),                                      // 4 menu
        active(R::Base),                                        // 5 window background
        active(R::Shadow),                                      // 6 window frame
        active(R::WindowText),                                  // 7 menu text
        active(R::Text),                                        // 8 window text
        active(R::HighlightedText),                             // 9 title bar text
        active(R::Button),                                      // 10 active border
        active(R::Button),                                      // 11 inactive border
        active(R::Dark),                                        // 12 application workspace
        active(R::Highlight),                                   // 13 highlight
        active(R::HighlightedText),                             // 14 highlighted text
        active(R::Button),                                      // 15 button face
        active(R::Dark),                                        // 16 button shadow
        Rgb(p.color(QPalette::Disabled, R::Text)),              // 17 grey text
        active(R::ButtonText),                                  // 18 button text
        inactive(R::WindowText),                                // 19 inactive title text
        active(R::Light),                                       // 20 button highlight
        active(R::Shadow),                                      // 21 3-D dark shadow
        active(R::Midlight),                                    // 22 3-D light
        active(R::ToolTipText),                                 // 23 tool tip text
        active(R::ToolTipBase),                                 // 24 tool tip background
        active(R::Button),                                      // 25 (unused)
        active(R::Link),                                        // 26 hot-tracked item
        Rgb(p.color(QPalette::Active, R::Highlight).lighter(150)), // 27 active title gradient
        Rgb(p.color(QPalette::Active, R::Mid).lighter(130)),    // 28 inactive title gradient
        active(R::Highlight),                                   // 29 highlighted menu item
        active(R::Window),                                      // 30 menu bar
    };
    Colors::SetSystemColors(table);
}

} // namespace tolvane
