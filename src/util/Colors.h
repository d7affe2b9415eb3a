// OLE colour values and their translation to screen colours.
//
// An OLE colour is either an RGB value (red in the low byte, then green, then blue; high byte 0)
// or, with the high byte 0x80, the index of a system colour in its low byte. System colours come
// from a table that starts as the classic Windows default scheme; the GUI may replace it with the
// desktop's palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvane {

class Colors {
public:
    static constexpr std::uint32_t SystemColor = 0x80000000u;

    // System colours by index, as OLE colour values.
    static constexpr std::uint32_t ScrollBars = SystemColor | 0;
    static constexpr std::uint32_t Desktop = SystemColor | 1;
    static constexpr std::uint32_t ActiveTitleBar = SystemColor | 2;
    static constexpr std::uint32_t InactiveTitleBar = SystemColor | 3;
    static constexpr std::uint32_t Menu = SystemColor | 4; // menu background
    static constexpr std::uint32_t WindowBackground = SystemColor | 5;
    static constexpr std::uint32_t WindowFrame = SystemColor | 6;
    static constexpr std::uint32_t MenuText = SystemColor | 7;
    static constexpr std::uint32_t WindowText = SystemColor | 8;
    static constexpr std::uint32_t TitleBarText = SystemColor | 9;
    static constexpr std::uint32_t ActiveBorder = SystemColor | 10;
    static constexpr std::uint32_t InactiveBorder = SystemColor | 11;
    static constexpr std::uint32_t ApplicationWorkspace = SystemColor | 12;
    static constexpr std::uint32_t Highlight = SystemColor | 13;
    static constexpr std::uint32_t HighlightText = SystemColor | 14;
    static constexpr std::uint32_t ButtonFace = SystemColor | 15;
    static constexpr std::uint32_t ButtonShadow = SystemColor | 16;
    static constexpr std::uint32_t GrayText = SystemColor | 17;
    static constexpr std::uint32_t ButtonText = SystemColor | 18;
    static constexpr std::uint32_t InactiveCaptionText = SystemColor | 19;
    static constexpr std::uint32_t ButtonHighlight = SystemColor | 20;
    static constexpr std::uint32_t ThreeDDKShadow = SystemColor | 21;
    static constexpr std::uint32_t ThreeDLight = SystemColor | 22;
    static constexpr std::uint32_t InfoText = SystemColor | 23;
    static constexpr std::uint32_t InfoBackground = SystemColor | 24;

    // Number of system colours (COLOR_SCROLLBAR 0 to COLOR_MENUBAR 30).
    static constexpr std::size_t SystemColorCount = 31;

    static constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return std::uint32_t{r} | std::uint32_t{g} << 8 | std::uint32_t{b} << 16;
    }

    // The screen colour (a COLORREF) that OleTranslateColor gives for `clr` without a palette:
    // the value itself for an RGB colour (0x00bbggrr), a palette index (0x01......) and a
    // palette-relative RGB (0x02bbggrr); the table's entry for a system colour; -1 for a
    // system index beyond the table or any other kind of value. `hpal` is accepted for the
    // callers' sake and not used: no caller has a palette.
    static std::int32_t Translate(std::uint32_t clr, std::intptr_t hpal = 0);
    // The RGB value (0x00bbggrr) a screen without a palette shows for a COLORREF: its own RGB,
    // also when palette-relative; for a palette index the entry of the system's default
    // palette (20 colours; an index beyond them shows its first, black).
    static std::uint32_t ScreenRgb(std::int32_t colorref);

    // Replaces the system colour table: entry i of `rgb` becomes index i; indexes that `rgb` does
    // not reach get their defaults, entries beyond the table are ignored. Safe to call while
    // other threads translate.
    static void SetSystemColors(std::span<const std::uint32_t> rgb);
    // Back to the classic default scheme.
    static void ResetSystemColors();
};

} // namespace tolvane
