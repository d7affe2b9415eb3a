// The program's windows as PNG pictures, showing the demo discs.
#pragma once

class QDir;

namespace tolvane::screenshots {

// Saves main-window.png, select-device.png, information-cd.png, information-dvd.png,
// extracting.png and about.png in `out`; false when one of them cannot be made or written.
bool SaveWindowShots(const QDir& out);

} // namespace tolvane::screenshots
