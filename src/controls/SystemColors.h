// The system colours that OLE colour values name (0x80000000 | index), taken from the
// application's palette, so the controls follow the desktop's colour scheme.
#pragma once

#include <QPalette>

namespace tolvane {

// Fills the system colour table from `palette`; every later Colors::Translate uses it.
void UseSystemColors(const QPalette& palette);

} // namespace tolvane
