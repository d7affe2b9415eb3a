// The library probe on dlopen: LoadLibraryA, GetProcAddress and FreeLibrary
// become dlopen, dlsym and dlclose; the module's path comes from the link map.
#include "device/DLL.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <system_error>

namespace tolvane {

namespace {

// The path the loader found the module at. The link map holds it as the loader
// used it: the searched path for a bare name, the caller's own text for a name
// with a slash, which may be relative; either is made absolute (not canonical,
// so symbolic links stay as the loader saw them).
std::string ModulePath(void* module)
{
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
        return {};
    }
    std::string name = map->l_name;
    if (name.empty() || name.front() == '/') {
        return name;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.string();
}

// A library loaded for one question, unloaded when the question is answered.
class LoadedLibrary {
public:
    // dlopen("") would hand back the program itself; LoadLibraryA("") loads nothing.
    explicit LoadedLibrary(const std::string& file)
        : module_(file.empty() ? nullptr : dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
    }
    ~LoadedLibrary()
    {
        if (module_ != nullptr) {
            dlclose(module_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    std::string Path() const { return ModulePath(module_); }
    void* Find(const std::string& routine) const { return dlsym(module_, routine.c_str()); }

private:
    void* module_;
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
    void* routine = library.Find("DllGetVersion");
    if (routine == nullptr) {
        return false;
    }
    // HRESULT DllGetVersion(DLLVERSIONINFO*): the result is not examined.
    using DllGetVersionProc = long (*)(void*);
    reinterpret_cast<DllGetVersionProc>(routine)(dvi);
    return true;
}

} // namespace tolvane
