#include "rip/DriveOffsets.h"

#include "disc/Checksums.h"
#include "emulator/EmulatedDrive.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

TEST(DriveOffsets, TheUsersTableReadsWritesAndFindsDrives)
{
    rip::OffsetTable table;
    std::string error;
    ASSERT_TRUE(rip::ParseOffsetTable("# mine\n\nPLEXTOR | DVDR   PX-716A | +30\r\n"
                                      "HL-DT-ST|DVDRAM GH24NSD1|6 # measured\n  ASUS | DRW-24D5MT | -1164",
                                      table, error))
        << error;
    ASSERT_EQ(table.entries.size(), 3u);
    EXPECT_EQ(rip::FindOffset(table, "PLEXTOR ", "DVDR   PX-716A  "), 30);
    EXPECT_EQ(rip::FindOffset(table, "hl-dt-st", "dvdram gh24nsd1"), 6);
    EXPECT_EQ(rip::FindOffset(table, "ASUS", "DRW-24D5MT"), -1164);
    EXPECT_FALSE(rip::FindOffset(table, "ASUS", "DRW-24D5M"));

    rip::SetOffset(table, "asus", "DRW-24D5MT", 6);
    rip::SetOffset(table, "TOLVANE", "VIRTUAL DRIVE", 667);
    rip::OffsetTable again;
    ASSERT_TRUE(rip::ParseOffsetTable(rip::OffsetTableText(table), again, error)) << error;
    ASSERT_EQ(again.entries.size(), 4u);
    EXPECT_EQ(rip::FindOffset(again, "ASUS", "DRW-24D5MT"), 6);
    EXPECT_EQ(rip::FindOffset(again, "TOLVANE", "VIRTUAL DRIVE"), 667);

    for (const char* bad : {"PLEXTOR | PX-716A", "A | B | C | 1", "A | B | 30 samples", "A | | 30", "A | B | +",
                            "A | B | 99999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(rip::ParseOffsetTable(std::string("X | Y | 1\n") + bad, again, error));
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }

    // A file that does not exist yet is an empty table; saving makes its folder.
    test::TempDir dir;
    const std::string path = dir.File("config/tolvane/drive-offsets");
    ASSERT_TRUE(rip::LoadOffsetTable(path, again, error));
    EXPECT_TRUE(again.entries.empty());
    ASSERT_TRUE(rip::SaveOffsetTable(path, table, error)) << error;
    ASSERT_TRUE(rip::LoadOffsetTable(path, again, error)) << error;
    EXPECT_EQ(rip::FindOffset(again, "PLEXTOR", "DVDR   PX-716A"), 30);
    std::ofstream(path, std::ios::app) << "broken line\n";
    EXPECT_FALSE(rip::LoadOffsetTable(path, again, error));
    EXPECT_NE(error.find("line 6"), std::string::npos) << error;
}

// Three tracks of noise; the middle one's checksum, as a correctly ripped copy gives it, is what
// the database would know.
TEST(DriveOffsets, DetectionFindsTheDrivesOffsetFromTheDatabasesChecksum)
{
    constexpr std::int32_t Blocks = 900;
    const auto source = std::make_shared<emulator::GeneratedSource>([](std::int64_t s, std::span<std::uint8_t> out) {
        std::uint32_t x = static_cast<std::uint32_t>(s) * 2654435761u + 1;
        for (auto& b : out) {
            x = x * 1664525 + 1013904223;
            b = static_cast<std::uint8_t>(x >> 24);
        }
    });
    auto disc = std::make_shared<emulator::Disc>();
    disc->sessions = {emulator::Session{1, Blocks, 0x00}};
    disc->tracks = {emulator::Track{1, 1, emulator::TrackMode::Audio, 0, 0, 0, {}, 300, ""},
                    emulator::Track{2, 1, emulator::TrackMode::Audio, 0, 300, 300, {}, 600, ""},
                    emulator::Track{3, 1, emulator::TrackMode::Audio, 0, 600, 600, {}, Blocks, ""}};
    disc->capacity = Blocks;
    disc->extents = {emulator::Extent{0, Blocks, emulator::SectorFormat::Audio, source, 0}};
    std::vector<std::uint8_t> track(300 * 2352);
    for (std::int64_t s = 0; s < 300; ++s)
        source->Read(300 + s, std::span<std::uint8_t>(track).subspan(static_cast<std::size_t>(s) * 2352, 2352));
    sums::AccurateRipChecksum right(300 * 588, false, false);
    right.Add(track);
    const std::vector<std::uint32_t> known{0x12345678, right.V1()};

    for (const int offset : {0, 6, 667, -1164, 2900}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        test::VirtualRig rig(disc);
        emulator::ReadModel model;
        model.offset = offset;
        rig.drive->SetReadModel(model);
        const auto found = rip::DetectOffset(rig.disc->Transport(), 300, 300, Blocks, false, false, known);
        EXPECT_TRUE(found.error.empty()) << found.error;
        EXPECT_EQ(found.offsets, std::vector<int>{offset});
    }
    // Beyond the margin, or a checksum nobody submitted: nothing found, and no error.
    test::VirtualRig rig(disc);
    emulator::ReadModel far;
    far.offset = 3000;
    rig.drive->SetReadModel(far);
    EXPECT_TRUE(rip::DetectOffset(rig.disc->Transport(), 300, 300, Blocks, false, false, known).offsets.empty());
    EXPECT_TRUE(rip::DetectOffset(rig.disc->Transport(), 300, 300, Blocks, false, false,
                                  std::vector<std::uint32_t>{1, 2}).offsets.empty());
}

} // namespace
} // namespace tolvane
