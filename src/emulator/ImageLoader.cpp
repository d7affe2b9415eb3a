#include "emulator/ImageLoader.h"

#include "emulator/LoaderSupport.h"

namespace tolvane::emulator {

LoadResult LoadImage(const std::string& path, const LoadOptions& options)
{
    if (loader::EndsWithNoCase(path, ".cue"))
        return LoadCue(path, options);
    if (loader::EndsWithNoCase(path, ".toc"))
        return LoadToc(path, options);
    if (loader::EndsWithNoCase(path, ".iso"))
        return LoadIso(path, options);
    LoadResult result;
    result.error = loader::BaseName(path) + ": not a disc image this program reads (.cue, .toc or .iso)";
    return result;
}

} // namespace tolvane::emulator
