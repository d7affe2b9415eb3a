// The system colours that OLE colour values name (0x80000000 | index), taken from the
// application's palette, so the controls follow the desktop's colour scheme.
#pragma once

#include <QColor>
#include <QPalette>

#include <cstdint>

namespace tolvane {

// Fills the system colour table from `palette`; every later Colors::Translate uses it.
void UseSystemColors(const QPalette& palette);

// The screen colour of an RGB value 0x00BBGGRR, as Colors::Translate gives it.
QColor RgbColor(std::int32_t rgb);
// The screen colour of an OLE colour (an RGB value or a system colour); black when it names none.
QColor OleColor(std::uint32_t clr);

} // namespace tolvane
