#include "BenchSupport.h"

#include "device/platform/LinuxPlatform.h"
#include "util/ByteOrder.h"

#include <filesystem>
#include <numeric>

#include <unistd.h>

namespace tolvane::bench {

const std::vector<std::int32_t>& TrackLengths()
{
    static const std::vector<std::int32_t> lengths = [] {
        std::vector<std::int32_t> l{17333, 24871, 19402, 28115, 21950, 15777, 26404,
                                    22222, 18609, 30013, 20486, 23318, 16931, 25190};
        l.push_back(DiscSectors - std::accumulate(l.begin(), l.end(), 0)); // 22,379
        return l;
    }();
    return lengths;
}

std::shared_ptr<const emulator::Disc> AudioDisc(const std::vector<std::int32_t>& lengths,
                                                std::shared_ptr<const emulator::SectorSource> source)
{
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "benchmark CD";
    std::int32_t lba = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        emulator::Track t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.mode = emulator::TrackMode::Audio;
        t.pregapStart = lba;
        t.start = lba;
        lba += lengths[i];
        t.end = lba;
        disc->tracks.push_back(t);
    }
    disc->sessions = {emulator::Session{1, lba, 0x00}};
    disc->capacity = lba;
    disc->extents = {emulator::Extent{0, lba, emulator::SectorFormat::Audio, std::move(source), 0}};
    return disc;
}

std::shared_ptr<const emulator::Disc> Mode1Disc(std::int32_t sectors)
{
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "benchmark CD-ROM";
    emulator::Track t;
    t.mode = emulator::TrackMode::Mode1;
    t.control = emulator::control::Data;
    t.end = sectors;
    disc->tracks = {t};
    disc->sessions = {emulator::Session{1, sectors, 0x00}};
    disc->capacity = sectors;
    disc->extents = {emulator::Extent{0, sectors, emulator::SectorFormat::Mode1Data,
                                      std::make_shared<emulator::ZeroSource>(), 0}};
    return disc;
}

Rig::Rig(std::shared_ptr<const emulator::Disc> image)
{
    platform = CreateLinuxPlatform(registry, "/nonexistent-device-folder");
    drive = std::make_shared<emulator::EmulatedDrive>(clock);
    if (image) {
        drive->Insert(std::move(image));
    }
    letter = registry->Attach(drive);
    disc = std::make_unique<OpticalDisk>(*platform, clock);
    if (!disc->Create(letter)) {
        error = disc->ErrorMessage().empty() ? "cannot bind the virtual drive" : disc->ErrorMessage();
    }
}

std::shared_ptr<emulator::EmulatedDrive> ReadyDrive(std::shared_ptr<const emulator::Disc> disc)
{
    auto drive = std::make_shared<emulator::EmulatedDrive>();
    drive->Insert(std::move(disc));
    // The first command after the tray closes reports the new medium.
    const std::array<std::uint8_t, 6> testUnitReady{};
    drive->Execute(testUnitReady, {});
    return drive;
}

Cdb ReadCdCommand(std::int32_t lba, std::uint32_t count, std::uint8_t byte9)
{
    Cdb cdb{};
    cdb[0] = 0xBE;                                   // READ CD
    cdb[1] = 0x00;                                   // expected sector type: any
    PutBe32(cdb, 2, static_cast<std::uint32_t>(lba)); // starting logical block address
    PutBe24(cdb, 6, count);                          // transfer length in blocks
    cdb[9] = byte9;                                  // main channel selection
    cdb[10] = 0x00;                                  // no sub-channel
    return cdb;
}

std::string TempPath(const std::string& stem)
{
    return (std::filesystem::temp_directory_path() /
            ("tolvane-bench-" + std::to_string(::getpid()) + "-" + stem))
        .string();
}

} // namespace tolvane::bench
