#include "support/VirtualRig.h"

#include "device/platform/LinuxPlatform.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace tolvane::test {

VirtualRig::VirtualRig(std::shared_ptr<const emulator::Disc> image)
{
    // No device folder: only the virtual drives of the registry are drives.
    platform = CreateLinuxPlatform(registry, "/nonexistent-device-folder");
    drive = std::make_shared<emulator::EmulatedDrive>(clock);
    if (image) {
        drive->Insert(std::move(image));
    }
    letter = registry->Attach(drive);
    disc = std::make_unique<OpticalDisk>(*platform, clock);
    EXPECT_TRUE(disc->Create(letter)) << disc->ErrorMessage();
}

std::shared_ptr<const emulator::Disc> LoadTestImage(const std::string& relative, bool synthesize)
{
    emulator::LoadOptions options;
    options.synthesizeMissingData = synthesize;
    const auto loaded = emulator::LoadImage(TestDataPath(relative), options);
    EXPECT_TRUE(loaded.disc) << relative << ": " << loaded.error;
    return loaded.disc;
}

} // namespace tolvane::test
