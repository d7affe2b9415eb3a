// The library probe on the Windows loader.
#include "device/DLL.h"

#include <windows.h>

namespace tolvane {

namespace {

// GetModuleFileNameA into a MAX_PATH buffer; a length of 0 means no path.
std::string ModulePath(HMODULE module)
{
    char buffer[260];
    const DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    return length >= 1 ? std::string(buffer, length) : std::string();
}

// A library loaded for one question, unloaded when the question is answered.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& file) : module_(LoadLibraryA(file.c_str())) {}
    ~LoadedLibrary()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    std::string Path() const { return ModulePath(module_); }
    FARPROC Find(const std::string& routine) const { return GetProcAddress(module_, routine.c_str()); }

private:
    HMODULE module_;
};

} // namespace

bool DLL::IsAvailable(const std::string& file, const std::string& routine)
{
    fileName_.clear();
    LoadedLibrary library(file);
    if (!library.Loaded()) {
        return false;
    }
    fileName_ = library.Path();
    return routine.empty() || library.Find(routine) != nullptr;
}

bool DLL::GetVersion(const std::string& file, void* dvi)
{
    // Unlike IsAvailable, a failed load keeps the earlier FileName.
    LoadedLibrary library(file);
    if (!library.Loaded()) {
        return false;
    }
    fileName_ = library.Path();
    FARPROC routine = library.Find("DllGetVersion");
    if (routine == nullptr) {
        return false;
    }
    // HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO*): the result is not examined.
    // The detour through void (*)() keeps -Wcast-function-type quiet about FARPROC.
    using DllGetVersionProc = HRESULT(CALLBACK*)(void*);
    reinterpret_cast<DllGetVersionProc>(reinterpret_cast<void (*)()>(routine))(dvi);
    return true;
}

} // namespace tolvane
