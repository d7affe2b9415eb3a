// Faults during a read or a copy: each ends with a clear message, no crash and
// no hang, and a WAV being written stays valid with sizes that match exactly the
// sectors written.
#include "device/platform/ScsiOpcodes.h"
#include "disc/DiscFacts.h"
#include "support/Hex.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using test::Hex;

// The data size a WAV file states, and whether it agrees with the file and its RIFF size.
std::uint32_t CheckedDataSize(const std::string& path)
{
    const auto wav = test::ReadBytes(path);
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44) {
        return 0;
    }
    const std::uint32_t data = Le32(wav, 40);
    EXPECT_EQ(Le32(wav, 4), 36 + data);
    EXPECT_EQ(wav.size(), 44 + data);
    EXPECT_EQ(data % 2352, 0u);
    return data;
}

struct Copy {
    bool result = false;
    std::string error;
    std::uint32_t sectors = 0; // Change events not cancelled
};

// Extracts track 1 of a 3,000-block audio disc; `during(n)` runs at the n-th Change event.
Copy ExtractWith(test::FakeRig& rig, const std::string& path, const std::function<void(int)>& during)
{
    Copy c;
    rig.disc.SetChangeHandler([&](std::int32_t, bool&) { during(static_cast<int>(++c.sectors)); });
    c.result = rig.disc.Extract(1, path);
    c.error = rig.disc.ErrorMessage();
    return c;
}

std::shared_ptr<emulator::Disc> AudioDisc()
{
    using emulator::TrackMode;
    return test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 3000}}, {{1, 6000, 0x00}});
}

TEST(Faults, TrayOpenedDuringAStreamStopsWithAValidWav)
{
    test::FakeRig rig(AudioDisc());
    ASSERT_TRUE(rig.disc.Check());
    ASSERT_TRUE(rig.disc.Read());
    const test::TempDir dir;
    const std::string path = dir.File("t.wav");
    const Copy c = ExtractWith(rig, path, [&](int n) {
        if (n == 100) {
            // START STOP UNIT, LoEj: the tray opens while the copy runs.
            std::vector<std::uint8_t> none;
            rig.drive->Execute(Hex("1B 00 00 00 02 00"), none);
        }
    });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.error, "Error reading bytes");
    // The burst holding sector 100 was read before the tray opened; nothing after it.
    EXPECT_EQ(c.sectors, 108u);
    EXPECT_EQ(CheckedDataSize(path), 108u * 2352);
}

TEST(Faults, DriveGoneDuringAStreamStopsWithAValidWav)
{
    test::FakeRig rig(AudioDisc());
    ASSERT_TRUE(rig.disc.Check());
    ASSERT_TRUE(rig.disc.Read());
    bool gone = false;
    rig.intercept = [&gone](ConstBytes, Bytes) -> std::optional<ScsiResult> {
        if (!gone) {
            return std::nullopt;
        }
        ScsiResult r; // the pass-through itself fails: the device node went away
        r.transport = TransportOutcome::OsError;
        r.osError = 19; // ENODEV
        return r;
    };
    const test::TempDir dir;
    const std::string path = dir.File("t.wav");
    const Copy c = ExtractWith(rig, path, [&gone](int n) { gone = gone || n == 40; });
    EXPECT_FALSE(c.result);
    EXPECT_EQ(c.error, "Error reading bytes");
    EXPECT_EQ(c.sectors, 54u);
    EXPECT_EQ(CheckedDataSize(path), 54u * 2352);
}

// Answers no drive should give, for the READ TOC of the track list.
struct MalformedCase {
    const char* name;
    std::uint8_t format;
    const char* hex;
    bool readSucceeds;
};

class MalformedAnswers : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedAnswers, EndInAMessageOrDefaultsNeverACrash)
{
    test::FakeRig rig(AudioDisc());
    const auto answer = Hex(GetParam().hex);
    const std::uint8_t format = GetParam().format;
    rig.intercept = [&](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        if (cdb[0] != scsi::op::ReadToc || (cdb[2] & 0x0F) != format) {
            return std::nullopt;
        }
        std::copy_n(answer.begin(), std::min(answer.size(), data.size()), data.begin());
        return ScsiResult::Success();
    };
    ASSERT_TRUE(rig.disc.Check());
    const bool ok = rig.disc.Read();
    EXPECT_EQ(ok, GetParam().readSucceeds) << rig.disc.ErrorMessage();
    if (!ok) {
        EXPECT_FALSE(rig.disc.ErrorMessage().empty());
        EXPECT_EQ(rig.disc.Count(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Toc, MalformedAnswers,
    testing::Values(
        // First track 3, last 1: no track to list.
        MalformedCase{"FirstAfterLast", 0, "00 12 03 01 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70", true},
        // Track numbers up to 120 with two descriptors.
        MalformedCase{"PastNinetyNine", 0, "00 12 01 78 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70", false},
        // A data length far beyond the buffer: read as far as the buffer goes.
        MalformedCase{"LengthBeyondBuffer", 0, "FF FF 01 01 00 10 01 00 00 00 00 00 00 10 AA 00 00 00 17 70", true},
        // CD-Text whose length runs off the end of the answer, and packs of garbage.
        MalformedCase{"CdTextRunsOff", 5, "FF F0 00 00 80 00 00 00 41 42 43 00 00 00 00 00 00 00 00 00 12 34", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Faults, RandomBytesAtBlock16AreNoVolume)
{
    // A data disc whose block 16 holds noise: no ISO 9660 fields, no crash.
    auto disc = test::BuildCd({{1, emulator::TrackMode::Mode1, 0, 0x4}}, {{1, 3000, 0x00}});
    std::mt19937 random(16);
    disc->extents.clear();
    disc->extents.push_back({0, 3000, emulator::SectorFormat::Mode1Data,
                             std::make_shared<emulator::GeneratedSource>(
                                 [random](std::int64_t, std::span<std::uint8_t> out) mutable {
                                     for (auto& b : out) {
                                         b = static_cast<std::uint8_t>(random());
                                     }
                                 }),
                             0});
    test::VirtualRig rig(disc);
    ASSERT_TRUE(rig.disc->Check());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->LogicalBlockSize(), 0);
    EXPECT_EQ(rig.disc->CD()->VolumeIdentifier(), "");
    EXPECT_EQ(rig.disc->Track(1)->Mode(), "Mode 1");
}

} // namespace
} // namespace tolvane
