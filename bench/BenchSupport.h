// Pieces the benchmark programs share: the 74-minute disc layout of the rip
// benchmark, discs built in memory, a program's worth of objects around one
// virtual drive, and READ CD command blocks.
#pragma once

#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"
#include "disc/OpticalDisk.h"
#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "util/Clock.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::bench {

constexpr std::int32_t RawSectorSize = 2352;
// 74 minutes of CD audio: 74 x 60 x 75 sectors, 783,216,000 bytes.
constexpr std::int32_t DiscSectors = 74 * 60 * 75;

// Lengths in sectors of the 15 tracks of the rip benchmark's disc: uneven, and
// none a multiple of a 27-sector burst, so every track ends with a short read.
const std::vector<std::int32_t>& TrackLengths();

// An audio CD with one track per length, back to back from block 0, every
// block read from `source`.
std::shared_ptr<const emulator::Disc> AudioDisc(const std::vector<std::int32_t>& lengths,
                                                std::shared_ptr<const emulator::SectorSource> source);
// A CD with one Mode 1 track of `sectors` blocks of zeros.
std::shared_ptr<const emulator::Disc> Mode1Disc(std::int32_t sectors);

// The objects of a program around one virtual drive on a virtual clock: the
// registry, the platform (no device folder, so only the virtual drive exists),
// the drive holding `image`, and a disc object bound to it.
struct Rig {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::shared_ptr<VirtualDriveRegistry> registry = std::make_shared<VirtualDriveRegistry>();
    std::unique_ptr<Platform> platform;
    std::shared_ptr<emulator::EmulatedDrive> drive;
    std::unique_ptr<OpticalDisk> disc;
    std::string letter;
    std::string error; // why Create failed; empty when the disc object is bound

    explicit Rig(std::shared_ptr<const emulator::Disc> image);
};

// A drive holding the disc that has already reported the new medium, so the
// next command is served.
std::shared_ptr<emulator::EmulatedDrive> ReadyDrive(std::shared_ptr<const emulator::Disc> disc);

using Cdb = std::array<std::uint8_t, 12>;

// READ CD of `count` blocks from `lba`, any sector type; byte 9 selects the
// main channel fields (0x10 user data: all 2,352 bytes of audio; 0xF8 the whole raw sector).
Cdb ReadCdCommand(std::int32_t lba, std::uint32_t count, std::uint8_t byte9);

// A file name in the temporary folder that no other run of this program uses.
std::string TempPath(const std::string& stem);

} // namespace tolvane::bench
