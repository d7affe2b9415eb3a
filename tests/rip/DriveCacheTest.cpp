#include "rip/DriveCache.h"

#include "emulator/EmulatedDrive.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tolvane {
namespace {

std::shared_ptr<const emulator::Disc> LongDisc()
{
    auto d = std::make_shared<emulator::Disc>();
    d->sessions = {emulator::Session{1, 30000, 0x00}};
    d->tracks = {emulator::Track{1, 1, emulator::TrackMode::Audio, 0, 0, 0, {}, 30000, ""}};
    d->capacity = 30000;
    d->extents = {emulator::Extent{0, 30000, emulator::SectorFormat::Audio, std::make_shared<emulator::ZeroSource>(), 0}};
    return d;
}

TEST(DriveCache, MeasuredFromHowLongReReadsTake)
{
    using namespace std::chrono_literals;
    const struct {
        std::int32_t cache;
        bool timed;
        bool measured;
        std::int32_t blocks;
        const char* note;
    } cases[] = {
        {1024, true, true, 1024, "measured: fewer than 1024 blocks"},
        {100, true, true, 128, "measured: fewer than 128 blocks"},
        {20000, true, false, 16384, "not measured: the cache holds more than 8192 blocks"},
        {0, true, false, 0, "not measured: re-reads take as long as reads"},
        {1024, false, false, 0, "not measured: re-reads take as long as reads"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        test::VirtualRig rig(LongDisc());
        emulator::ReadModel model;
        model.cacheSectors = c.cache;
        rig.drive->SetReadModel(model);
        if (c.timed)
            rig.drive->SetTiming(emulator::TimingModel{1350us, 950us});
        const rip::CacheSize size = rip::MeasureCache(rig.disc->Transport(), *rig.clock, 1000, 30000);
        EXPECT_EQ(size.measured, c.measured);
        EXPECT_EQ(size.blocks, c.blocks);
        EXPECT_EQ(size.note, c.note);
    }
    test::VirtualRig rig(LongDisc());
    rig.drive->FailReadsAt(1000);
    EXPECT_EQ(rip::MeasureCache(rig.disc->Transport(), *rig.clock, 1000, 30000).note,
              "not measured: the drive could not read the blocks");
}

} // namespace
} // namespace tolvane
