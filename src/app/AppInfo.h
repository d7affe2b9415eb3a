// What the program says about itself: the version information of the executable.
#pragma once

#include <QString>

namespace tolvane::app {

inline constexpr const char* CompanyName = "Brevantis";
inline constexpr const char* ProductName = "Tolvane";
inline constexpr const char* LegalCopyright = "Copyright \u00A9 2026 Brevantis. All rights reserved.";
inline constexpr const char* Website = "https://brevantis.example/tolvane";
inline constexpr int VersionMajor = TOLVANE_VERSION_MAJOR;
inline constexpr int VersionMinor = TOLVANE_VERSION_MINOR;

// The caption of every message box: company name, a blank, "Tolvane".
inline QString ApplicationTitle()
{
    return QString::fromUtf8(CompanyName) + QLatin1Char(' ') + QString::fromUtf8(ProductName);
}

} // namespace tolvane::app
