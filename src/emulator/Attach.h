// Attaching virtual drives to the program: for disc images, the demo discs, or
// with no disc, in the order the user named them.
#pragma once

#include "device/platform/VirtualDrives.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageLoader.h"
#include "util/Clock.h"

#include <memory>
#include <string>
#include <vector>

namespace tolvane::emulator {

struct DriveRequest {
    enum class Kind { Image, Demo, Empty } kind = Kind::Empty;
    std::string path; // Image only
};

struct AttachResult {
    bool ok = true;
    std::string error; // why nothing was attached
    std::vector<std::string> warnings;
    std::vector<std::string> letters; // "D:", "E:" ... of the drives attached, in order
    std::vector<std::shared_ptr<EmulatedDrive>> drives;
};

// Attaches a drive per request, in order: an Image drive holds the loaded image,
// Demo attaches two drives (the demo CD, then the demo DVD), Empty a drive with
// no disc. Every image is loaded before anything is attached, so on failure
// (ok false, with the loader's message) the registry is left as it was.
// The drives share `clock` (a virtual clock of their own when null).
AttachResult AttachDrives(VirtualDriveRegistry& registry, const std::vector<DriveRequest>& requests,
                          std::shared_ptr<Clock> clock, const LoadOptions& options = {});

} // namespace tolvane::emulator
