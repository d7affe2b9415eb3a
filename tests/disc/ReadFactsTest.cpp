// What a read makes of discs built for one question each: track lengths and
// sizes, control bits, start times past an hour, data modes, recordable and
// rewritable media, DVDs and their sizes, and an Enhanced CD.
#include "disc/DiscFacts.h"

#include "disc/OpticalDisk.h"
#include "emulator/DemoDiscs.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using emulator::DiscStatus;
using emulator::MediaKind;
using emulator::Session;
using emulator::TrackMode;
using test::Facts;
using test::TrackSpec;

struct DiscCase {
    const char* name;
    std::function<std::shared_ptr<const emulator::Disc>()> disc;
    Facts expected; // only these facts are checked
};

void PrintTo(const DiscCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadOf : public ::testing::TestWithParam<DiscCase> {};

TEST_P(ReadOf, GivesTheFactsOfTheDisc)
{
    test::VirtualRig rig(GetParam().disc());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    const Facts facts = test::FactsOf(*rig.disc);
    for (const auto& [key, value] : GetParam().expected) {
        const auto found = facts.find(key);
        ASSERT_NE(found, facts.end()) << key << " was not read";
        EXPECT_EQ(found->second, value) << key;
    }
}

std::shared_ptr<const emulator::Disc> ThreeAudioTracks()
{
    return test::BuildCd(
        {{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 20000}, {3, TrackMode::Audio, 35000}},
        {Session{1, 50000, 0x00}});
}

std::shared_ptr<const emulator::Disc> ControlNibbles()
{
    // Four-channel with pre-emphasis, four-channel, copy permitted, pre-emphasis, all three, none.
    return test::BuildCd({{1, TrackMode::Audio, 0, 0x9},
                          {2, TrackMode::Audio, 1000, 0x8},
                          {3, TrackMode::Audio, 2000, 0x2},
                          {4, TrackMode::Audio, 3000, 0x1},
                          {5, TrackMode::Audio, 4000, 0xB},
                          {6, TrackMode::Audio, 5000, 0x0}},
                         {Session{1, 6000, 0x00}});
}

// Disc addresses of 62:05:07 and 100:00:00 as logical blocks (150 frames of lead-in before block 0).
constexpr std::int32_t At62m05s07f = (62 * 60 + 5) * 75 + 7 - 150;
constexpr std::int32_t At100m = 100 * 60 * 75 - 150;

std::shared_ptr<const emulator::Disc> PastAnHour()
{
    return test::BuildCd(
        {{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, At62m05s07f}, {3, TrackMode::Audio, At100m}},
        {Session{1, At100m + 10000, 0x00}});
}

std::shared_ptr<const emulator::Disc> MixedModes()
{
    return test::BuildCd(
        {{1, TrackMode::Mode1, 0}, {2, TrackMode::Mode2, 10000}, {3, TrackMode::Audio, 20000, 0x2}},
        {Session{1, 30000, 0x20}});
}

std::shared_ptr<const emulator::Disc> BlankCdRw()
{
    auto disc = test::BuildCd({}, {}, MediaKind::BlankCdRw);
    disc->status = DiscStatus::Empty;
    return disc;
}

std::shared_ptr<const emulator::Disc> AudioCdR()
{
    return test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 15000}}, {Session{1, 30000, 0x00}},
                         MediaKind::CdR);
}

std::shared_ptr<const emulator::Disc> DataCd360000()
{
    return test::BuildCd({{1, TrackMode::Mode1, 0}}, {Session{1, 360000, 0x00}});
}

// Two full DVD-9 layers: 4,590,208 blocks, 9,400,745,984 bytes.
constexpr std::int32_t Dvd9Blocks = 2 * 2295104;

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, ReadOf,
    ::testing::Values(
        DiscCase{"threeAudioTracks",
                 ThreeAudioTracks,
                 {{"Count", "3"},
                  {"track 1 LogicalBlocks", "20000"},
                  {"track 1 RawSize", "47040000"},
                  {"track 2 LBA", "20000"},
                  {"track 2 LogicalBlocks", "15000"},
                  {"track 2 RawSize", "35280000"},
                  {"track 2 Mode", "Audio"},
                  {"track 3 LBA", "35000"},
                  {"track 3 LogicalBlocks", "15000"},
                  {"track 1 MSF", "00:02:00"},
                  {"track 2 MSF", "04:28:50"},
                  {"track 3 MSF", "07:48:50"},
                  // Start seconds 2, 268, 468 (digit sums 2 + 16 + 18 = 0x24); lead-out 668 s, so
                  // 666 s (0x29A) of playing time; 3 tracks.
                  {"CDDB", "24029A03"},
                  {"Sessions", "1"},
                  {"TotalLogicalBlocks", "50000"}}},
        DiscCase{"controlNibbles",
                 ControlNibbles,
                 {{"track 1 Preemphasis2", "true"},  {"track 1 Preemphasis4", "true"},
                  {"track 1 DigitalCopy", "false"},  {"track 2 Preemphasis2", "false"},
                  {"track 2 Preemphasis4", "false"}, {"track 2 DigitalCopy", "false"},
                  {"track 3 DigitalCopy", "true"},   {"track 3 Preemphasis2", "false"},
                  {"track 3 Preemphasis4", "false"}, {"track 4 Preemphasis2", "true"},
                  {"track 4 Preemphasis4", "false"}, {"track 4 DigitalCopy", "false"},
                  {"track 5 Preemphasis2", "true"},  {"track 5 Preemphasis4", "true"},
                  {"track 5 DigitalCopy", "true"},   {"track 6 Preemphasis2", "false"},
                  {"track 6 Preemphasis4", "false"}, {"track 6 DigitalCopy", "false"},
                  {"track 1 Mode", "Audio"},         {"track 2 Mode", "Audio"}}},
        DiscCase{"startsPastAnHour",
                 PastAnHour,
                 {{"track 2 MSF", "62:05:07"},
                  {"track 3 MSF", "100:00:00"},
                  {"track 2 LBA", std::to_string(At62m05s07f)},
                  {"track 3 LBA", std::to_string(At100m)},
                  {"track 3 LogicalBlocks", "10000"}}},
        DiscCase{"mixedModes",
                 MixedModes,
                 {{"track 1 Mode", "Mode 1"},
                  {"track 1 RawSize", "20480000"},
                  {"track 2 Mode", "Mode 2"},
                  {"track 2 RawSize", "20480000"},
                  {"track 3 Mode", "Audio"},
                  {"track 3 RawSize", "23520000"},
                  {"track 3 DigitalCopy", "true"},
                  {"DiscFormat", "CD-ROM XA"}}},
        DiscCase{"blankCdRw",
                 BlankCdRw,
                 {{"DiscStatus", "0"},
                  {"Erasable", "true"},
                  {"DiscType", "CD-RW"},
                  {"Count", "0"},
                  {"Sessions", "0"},
                  {"CDDB", ""},
                  {"SerialNumber", ""}}},
        DiscCase{"audioCdR",
                 AudioCdR,
                 {{"DiscType", "CD-R"}, {"Erasable", "false"}, {"DiscStatus", "2"}, {"Count", "2"}}},
        DiscCase{"pressedAudioCd",
                 emulator::MakeDemoCd,
                 {{"DiscFormat", "CD-DA/CD-ROM"},
                  {"DiscStatus", "2"},
                  {"Erasable", "false"},
                  {"DiscType", ""},
                  {"Layers", "0"},
                  {"Region", "0"},
                  {"UPC", "2000000123455"},
                  {"track 1 ISRC", "ZZTLV2400001"},
                  {"track 3 Preemphasis2", "true"},
                  {"VolumeIdentifier", ""},
                  {"LogicalBlockSize", "0"}}},
        DiscCase{"dataCdOf360000Blocks",
                 DataCd360000,
                 {{"TotalLogicalBlocks", "360000"},
                  {"TotalRawSize", "737280000"},
                  {"track 1 RawSize", "737280000"}}},
        DiscCase{"dualLayerDvdRomForRegion2",
                 [] { return test::BuildDvd(MediaKind::DvdRom, Dvd9Blocks, 2, 0x02); },
                 {{"DiscType", "DVD-ROM"},
                  {"Layers", "2"},
                  {"Region", "2"},
                  {"TotalLogicalBlocks", std::to_string(Dvd9Blocks)},
                  // Beyond 32 bits, exactly.
                  {"TotalRawSize", "9400745984"},
                  {"Count", "1"},
                  {"track 1 Mode", "Mode 1"},
                  {"track 1 RawSize", "9400745984"}}},
        DiscCase{"singleLayerDvdPlusRForEveryRegion",
                 [] { return test::BuildDvd(MediaKind::DvdPlusR, 2295104, 1, 0xFF); },
                 {{"DiscType", "DVD+R"}, {"Layers", "1"}, {"Region", "255"}, {"TotalRawSize", "4700372992"}}},
        DiscCase{"dvdRam",
                 [] { return test::BuildDvd(MediaKind::DvdRam, 100000, 1, 0xFF); },
                 {{"DiscType", "DVD-RAM"}, {"Erasable", "true"}}},
        DiscCase{"demoDvd",
                 emulator::MakeDemoDvd,
                 {{"DiscType", "DVD-ROM"},
                  {"Layers", "2"},
                  {"Region", "2"},
                  {"TotalLogicalBlocks", "4000000"},
                  {"TotalRawSize", "8192000000"},
                  {"Sessions", "1"}}}),
    [](const ::testing::TestParamInfo<DiscCase>& info) { return std::string(info.param.name); });

// --- An Enhanced CD ---------------------------------------------------------------------

// Lola (Capital), as whipper's capital.1.toc and capital.2.toc describe it: eleven
// audio tracks in session 1 (lead-out 197700), then one Mode 1 track in session 2,
// 11,400 blocks after it, up to the final lead-out 332850. capital.2.toc calls its
// session CD_ROM, so the full TOC's disc type stays 0. The data track starts with a
// real ISO 9660 volume (libcdio's copying.iso) so that the last session's volume
// descriptor can be told from block 16, which lies in track 1's pregap.
constexpr std::array<std::int32_t, 11> CapitalAudioStarts = {24170,  44705,  63940,  77735,  87945, 103870,
                                                             118095, 129105, 141615, 164337, 181630};
constexpr std::int32_t CapitalSession1LeadOut = 197700;
constexpr std::int32_t CapitalDataStart = CapitalSession1LeadOut + 11400;
constexpr std::int32_t CapitalLeadOut = 332850;

std::shared_ptr<const emulator::Disc> Capital()
{
    std::vector<TrackSpec> tracks;
    for (std::size_t i = 0; i < CapitalAudioStarts.size(); ++i) {
        tracks.push_back({static_cast<std::uint8_t>(i + 1), TrackMode::Audio, CapitalAudioStarts[i]});
    }
    tracks.push_back({12, TrackMode::Mode1, CapitalDataStart, 0, 2});
    auto disc =
        test::BuildCd(tracks, {Session{1, CapitalSession1LeadOut, 0x00}, Session{2, CapitalLeadOut, 0x00}});

    std::string error;
    auto iso = emulator::FileSource::Open(test::TestDataPath("libcdio/copying.iso"), 0, 2048, false, error);
    if (!iso) {
        ADD_FAILURE() << error;
        return disc;
    }
    emulator::Extent& data = disc->extents.back();
    EXPECT_EQ(data.start, CapitalDataStart);
    const std::int32_t volumeBlocks = static_cast<std::int32_t>(iso->Size() / 2048);
    data.start += volumeBlocks;
    data.length -= volumeBlocks;
    disc->extents.insert(
        disc->extents.end() - 1,
        emulator::Extent{CapitalDataStart, volumeBlocks, emulator::SectorFormat::Mode1Data, iso, 0});
    return disc;
}

std::string LaneSerial(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::array<std::uint8_t, 4> lanes{};
    for (std::size_t i = 0; i < 2048; ++i) {
        lanes[i % 4] = static_cast<std::uint8_t>(lanes[i % 4] + bytes.at(offset + i));
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X-%02X%02X", lanes[0], lanes[1], lanes[2], lanes[3]);
    return text;
}

TEST(EnhancedCd, LastAudioTrackEndsAtItsSessionsLeadOutAndTheIdCountsEveryTrack)
{
    test::VirtualRig rig(Capital());
    OpticalDisk& d = *rig.disc;
    ASSERT_TRUE(d.Read()) << d.ErrorMessage();
    ASSERT_EQ(d.Count(), 12);
    EXPECT_EQ(d.CD()->Sessions(), 2);
    for (std::size_t i = 0; i < CapitalAudioStarts.size(); ++i) {
        const auto track = d.Track(static_cast<std::int16_t>(i + 1));
        EXPECT_EQ(track->LBA(), CapitalAudioStarts[i]) << "track " << i + 1;
        EXPECT_EQ(track->Mode(), "Audio") << "track " << i + 1;
    }
    // Not 11,400 blocks (2:32) longer, up to the data session's first track.
    EXPECT_EQ(d.Track(11)->LogicalBlocks(), CapitalSession1LeadOut - 181630);
    EXPECT_EQ(d.Track(11)->RawSize().Whole(), std::int64_t{CapitalSession1LeadOut - 181630} * 2352);
    EXPECT_EQ(d.Track(10)->LogicalBlocks(), 181630 - 164337);
    EXPECT_EQ(d.Track(12)->LBA(), 209100);
    EXPECT_EQ(d.Track(12)->Mode(), "Mode 1");
    EXPECT_EQ(d.Track(12)->LogicalBlocks(), CapitalLeadOut - 209100);
    EXPECT_EQ(d.Track(12)->RawSize().Whole(), std::int64_t{CapitalLeadOut - 209100} * 2048);
    EXPECT_EQ(d.Track(12)->MSF(), "46:30:00");
    // whipper's golden: every track, the final lead-out.
    EXPECT_EQ(d.CD()->CDDB(), "B910140C");
    EXPECT_EQ(d.CD()->DiscFormat(), "CD-DA/CD-ROM");
    EXPECT_EQ(d.CD()->TotalLogicalBlocks(), CapitalLeadOut);

    // The serial number comes from the volume descriptor of the last session ...
    const auto iso = test::ReadBytes(test::TestDataPath("libcdio/copying.iso"));
    ASSERT_GE(iso.size(), 17u * 2048);
    EXPECT_EQ(d.CD()->SerialNumber(), LaneSerial(iso, 16 * 2048));
    // ... while block 16 itself is audio, so no primary volume descriptor is read from it.
    EXPECT_EQ(d.CD()->VolumeIdentifier(), "");
    EXPECT_EQ(d.CD()->VolumeSpaceSize(), 0);
}

TEST(EnhancedCd, TheSameTracksInOneSessionRunUpToTheNextTrack)
{
    // The correction applies to a session's last track only: flattened into one
    // session (as cdrdao's --fast-toc shows such a disc), track 11 runs to track 12.
    std::vector<TrackSpec> tracks;
    for (std::size_t i = 0; i < CapitalAudioStarts.size(); ++i) {
        tracks.push_back({static_cast<std::uint8_t>(i + 1), TrackMode::Audio, CapitalAudioStarts[i]});
    }
    tracks.push_back({12, TrackMode::Mode1, CapitalDataStart});
    test::VirtualRig rig(test::BuildCd(tracks, {Session{1, CapitalLeadOut, 0x00}}));
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->Sessions(), 1);
    EXPECT_EQ(rig.disc->Track(11)->LogicalBlocks(), CapitalDataStart - 181630);
    EXPECT_EQ(rig.disc->CD()->CDDB(), "B910140C");
}

} // namespace
} // namespace tolvane
