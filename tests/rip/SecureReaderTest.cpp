#include "rip/SecureReader.h"

#include "emulator/EmulatedDrive.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using emulator::AddressPatternSource;

// Two audio tracks whose every byte says where it is, so a shifted or wrong byte shows.
constexpr std::int32_t DiscBlocks = 1200;

std::shared_ptr<const emulator::Disc> PatternDisc()
{
    auto d = std::make_shared<emulator::Disc>();
    d->name = "pattern CD";
    d->sessions = {emulator::Session{1, DiscBlocks, 0x00}};
    d->tracks = {emulator::Track{1, 1, emulator::TrackMode::Audio, 0, 0, 0, {}, 500, ""},
                 emulator::Track{2, 1, emulator::TrackMode::Audio, 0, 500, 500, {}, DiscBlocks, ""}};
    d->capacity = DiscBlocks;
    d->extents = {emulator::Extent{0, DiscBlocks, emulator::SectorFormat::Audio,
                                   std::make_shared<AddressPatternSource>(), 0}};
    return d;
}

std::vector<std::uint8_t> DiscAudio()
{
    std::vector<std::uint8_t> out(std::size_t{DiscBlocks} * 2352);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = AddressPatternSource::ByteAt(static_cast<std::int64_t>(i / 2352), i % 2352);
    return out;
}

struct Rip {
    std::vector<std::uint8_t> audio;
    rip::Report report;
    bool ok = false;
};

Rip ReadDisc(test::VirtualRig& rig, const rip::Settings& settings)
{
    Rip r;
    rip::SecureReader reader(rig.disc->Transport(), DiscBlocks, settings);
    r.ok = reader.Read(0, DiscBlocks, [&](ConstBytes block) {
        r.audio.insert(r.audio.end(), block.begin(), block.end());
        return true;
    }, r.report);
    EXPECT_TRUE(r.ok) << reader.Error();
    return r;
}

TEST(SecureReader, CorrectsTheDrivesOffsetAndOverreadsWhereTheDriveCan)
{
    const auto disc = DiscAudio();
    for (const int offset : {6, 667, -1164}) {
        for (const bool overread : {false, true}) {
            SCOPED_TRACE("offset " + std::to_string(offset) + (overread ? ", overread" : ""));
            test::VirtualRig rig(PatternDisc());
            emulator::ReadModel model;
            model.offset = offset;
            model.overread = overread;
            rig.drive->SetReadModel(model);
            rip::Settings settings;
            settings.offset = offset;
            settings.overread = overread;
            const Rip r = ReadDisc(rig, settings);
            ASSERT_EQ(r.audio.size(), disc.size());
            // Without overread the samples the offset puts beyond the disc's end are silence.
            const std::size_t outside = overread ? 0 : static_cast<std::size_t>(std::abs(offset));
            EXPECT_EQ(r.report.silentSamples, outside);
            const std::size_t cut = outside * 4;
            const std::size_t from = offset < 0 ? cut : 0;
            const std::size_t to = disc.size() - (offset > 0 ? cut : 0);
            EXPECT_TRUE(std::equal(disc.begin() + from, disc.begin() + to, r.audio.begin() + from));
            EXPECT_TRUE(std::all_of(r.audio.begin(), r.audio.begin() + from, [](auto b) { return b == 0; }));
            EXPECT_TRUE(std::all_of(r.audio.begin() + to, r.audio.end(), [](auto b) { return b == 0; }));
            EXPECT_TRUE(r.report.suspicious.empty());
        }
    }
}

TEST(SecureReader, DamagedSectorsAreRecoveredOrNamedAndCleanOnesAreReadOnce)
{
    struct Case {
        const char* name;
        bool c2;
        emulator::Damage damage;
        bool recovered; // every damaged sector comes out right; else every one is named
    };
    const Case cases[] = {
        {"C2, wrong bytes that vary", true, {0.5, false, true, false}, true},
        {"C2, the same wrong bytes each time", true, {0.4, true, true, false}, true},
        {"C2, reads that fail", true, {0.5, false, true, true}, true},
        // Repeats from the drive's cache would agree with each other: only cache defeat lets a
        // second read of the window, or a re-read, see the scratch again.
        {"no C2, wrong bytes that vary, behind a cache", false, {0.5, false, false, false}, true},
        {"C2, never right", true, {0.0, false, true, false}, false},
    };
    const auto disc = DiscAudio();
    const std::vector<std::pair<std::int32_t, std::int32_t>> clusters{{0, 3}, {499, 4}, {900, 20}, {1195, 5}};
    std::set<std::int32_t> damaged;
    for (const auto& [first, count] : clusters)
        for (std::int32_t i = 0; i < count; ++i)
            damaged.insert(first + i);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::VirtualRig rig(PatternDisc());
        emulator::ReadModel model;
        model.c2 = c.c2;
        model.cacheSectors = 1024;
        rig.drive->SetReadModel(model);
        for (const auto& [first, count] : clusters)
            rig.drive->DamageAt(first, count, c.damage, 42);
        const Rip r = ReadDisc(rig, rip::Settings{});
        ASSERT_EQ(r.audio.size(), disc.size());
        EXPECT_EQ(r.report.c2, c.c2);
        const std::set<std::int32_t> named(r.report.suspicious.begin(), r.report.suspicious.end());
        for (std::int32_t lba = 0; lba < DiscBlocks; ++lba) {
            const auto at = static_cast<std::ptrdiff_t>(lba) * 2352;
            const bool right = std::equal(disc.begin() + at, disc.begin() + at + 2352, r.audio.begin() + at);
            if (damaged.count(lba) == 0) {
                EXPECT_TRUE(right && named.count(lba) == 0) << "clean sector " << lba;
            } else if (c.recovered) {
                EXPECT_TRUE(right && named.count(lba) == 0) << "damaged sector " << lba;
            } else {
                EXPECT_TRUE(!right && named.count(lba) == 1) << "damaged sector " << lba;
            }
        }
        EXPECT_GT(r.report.rereadSectors, 0u);
        EXPECT_LE(r.report.rereadSectors, damaged.size());
    }

    // A clean disc on a drive with C2: each sector read once, with a handful of reads more at the
    // windows' edges.
    test::VirtualRig rig(PatternDisc());
    const Rip clean = ReadDisc(rig, rip::Settings{});
    EXPECT_EQ(clean.audio, disc);
    EXPECT_EQ(clean.report.rereadSectors, 0u);
    EXPECT_LE(clean.report.sectorsRead, std::uint64_t{DiscBlocks} + 5);
}

// An Enhanced CD: the audio session's last samples, which the offset puts past its lead-out's
// start, are read there when the drive overreads, else they are silence; the data session beyond
// is never read as audio.
TEST(SecureReader, TheAudioSessionOfAnEnhancedCdEndsAtItsOwnLeadOut)
{
    auto d = std::make_shared<emulator::Disc>();
    d->sessions = {emulator::Session{1, 600, 0x00}, emulator::Session{2, 12600, 0x00}};
    d->tracks = {emulator::Track{1, 1, emulator::TrackMode::Audio, 0, 0, 0, {}, 600, ""},
                 emulator::Track{2, 2, emulator::TrackMode::Mode1, 0, 12000, 12000, {}, 12600, ""}};
    d->capacity = 12600;
    d->extents = {emulator::Extent{0, 600, emulator::SectorFormat::Audio, std::make_shared<AddressPatternSource>(), 0}};
    const auto disc = DiscAudio();
    for (const bool overread : {false, true}) {
        SCOPED_TRACE(overread ? "overread" : "no overread");
        test::VirtualRig rig(d);
        emulator::ReadModel model;
        model.offset = 667;
        model.overread = overread;
        rig.drive->SetReadModel(model);
        rip::Settings settings;
        settings.offset = 667;
        settings.overread = overread;
        rip::SecureReader reader(rig.disc->Transport(), 600, settings);
        std::vector<std::uint8_t> audio;
        rip::Report report;
        ASSERT_TRUE(reader.Read(0, 600, [&](ConstBytes block) {
            audio.insert(audio.end(), block.begin(), block.end());
            return true;
        }, report)) << reader.Error();
        // The session's last 667 samples are read from past its lead-out's start.
        const std::size_t kept = overread ? audio.size() : 600 * 2352 - 667 * 4;
        EXPECT_TRUE(std::equal(audio.begin(), audio.begin() + kept, disc.begin()));
        EXPECT_TRUE(std::all_of(audio.begin() + kept, audio.end(), [](auto b) { return b == 0; }));
        EXPECT_EQ(report.silentSamples, overread ? 0u : 667u);
        EXPECT_TRUE(report.suspicious.empty());
    }
}

// A block that fails with a medium error every time is a scratch: silence, named. A drive that
// stops answering altogether (unplugged, tray opened) ends the read with an error instead.
TEST(SecureReader, ADriveThatStopsAnsweringEndsTheReadButAScratchDoesNot)
{
    test::VirtualRig rig(PatternDisc());
    rig.drive->FailReadsAt(600, 2);
    rip::Settings settings;
    settings.maxReads = 3;
    Rip scratched = ReadDisc(rig, settings);
    EXPECT_TRUE(scratched.ok);
    EXPECT_EQ(scratched.report.suspicious, (std::vector<std::int32_t>{600, 601}));
    EXPECT_TRUE(std::all_of(scratched.audio.begin() + 600 * 2352, scratched.audio.begin() + 602 * 2352,
                            [](auto b) { return b == 0; }));

    test::VirtualRig gone(PatternDisc());
    gone.drive->FailCommand(0xBE, -1, 0x02, 0x3A, 0x00); // MEDIUM NOT PRESENT
    rip::SecureReader reader(gone.disc->Transport(), DiscBlocks, settings);
    rip::Report report;
    EXPECT_FALSE(reader.Read(0, DiscBlocks, [](ConstBytes) { return true; }, report));
    EXPECT_EQ(reader.Error().rfind("the drive stopped answering at block 0: ", 0), 0u) << reader.Error();
    EXPECT_LT(report.sectorsRead, 200u) << "it gives up at the first block, not after every one";
}

} // namespace
} // namespace tolvane
