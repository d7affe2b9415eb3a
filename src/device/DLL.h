// Whether a dynamic library loads and exports a routine, without keeping it loaded.
#pragma once

#include <string>

namespace tolvane {

class DLL {
public:
    // True when `file` loads and, unless `routine` is empty, exports `routine`.
    bool IsAvailable(const std::string& file, const std::string& routine = {});

    // Loads `file` and calls its DllGetVersion with `dvi` (a caller-filled
    // DLLVERSIONINFO record, passed on untouched). True when the routine exists,
    // whatever it returns.
    bool GetVersion(const std::string& file, void* dvi);

    // Full path of the library that the last successful load found.
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
};

} // namespace tolvane
