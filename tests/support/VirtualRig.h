// A program's worth of objects around one virtual drive: the registry, the
// platform (virtual drives only), a shared virtual clock, and a disc object
// bound to the drive.
#pragma once

#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"
#include "disc/OpticalDisk.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageLoader.h"
#include "util/Clock.h"

#include <memory>
#include <string>

namespace tolvane::test {

struct VirtualRig {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<VirtualDriveRegistry> registry = std::make_shared<VirtualDriveRegistry>();
    std::unique_ptr<Platform> platform;
    std::shared_ptr<emulator::EmulatedDrive> drive;
    std::unique_ptr<OpticalDisk> disc;
    std::string letter;

    // A drive holding `image` (no disc when null), attached as D: and bound.
    explicit VirtualRig(std::shared_ptr<const emulator::Disc> image);
};

// Loads an image of the shared test data (missing audio synthesized); fails the test when it does not load.
std::shared_ptr<const emulator::Disc> LoadTestImage(const std::string& relative, bool synthesize = true);

} // namespace tolvane::test
