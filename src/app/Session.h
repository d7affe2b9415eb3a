// The objects one run of the desktop program works with: the virtual drives the command line
// attached, the pass-through that reaches them and the machine's drives, and the clock the
// disc objects wait on. The windows receive it; tests build their own.
#pragma once

#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"
#include "emulator/EmulatedDrive.h"
#include "util/Clock.h"

#include <memory>
#include <string>
#include <vector>

namespace tolvane::app {

struct Session {
    std::shared_ptr<VirtualDriveRegistry> registry = std::make_shared<VirtualDriveRegistry>();
    std::shared_ptr<Clock> clock;
    std::unique_ptr<Platform> platform;
    std::vector<std::shared_ptr<emulator::EmulatedDrive>> drives; // the virtual ones, in letter order
};

// What the command line asks for: `tolvane [--demo] [--empty] [IMAGE...] [--design FORM]`.
struct StartOptions {
    std::vector<std::string> arguments; // the drive options and images, in command-line order
    std::string designForm;             // set by --design
    bool help = false;
    bool version = false;
    std::string error; // a usage error, to be shown and end the program
};

StartOptions ParseStartOptions(const std::vector<std::string>& args);

// Attaches the virtual drives (in command-line order) and opens the system's pass-through.
// False with `error` (the loader's message) when an image cannot be read.
bool OpenSession(const StartOptions& options, Session& session, std::string& error);

} // namespace tolvane::app
