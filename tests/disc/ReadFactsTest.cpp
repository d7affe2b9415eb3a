// What a read makes of discs built for one question each, and of an Enhanced CD.
#include "disc/DiscFacts.h"

#include "support/TestData.h"

namespace tolvane {
namespace {

using emulator::MediaKind;
using emulator::Session;
using emulator::TrackMode;
using test::BuiltTrack;

// Lola (Capital), as whipper's capital.1.toc and capital.2.toc describe it: eleven audio
// tracks in session 1 (lead-out 197700), then one Mode 1 track in session 2 11,400 blocks
// later, up to the final lead-out 332850. The data track starts with a real ISO 9660 volume
// (libcdio's copying.iso), so the last session's descriptor can be told from block 16, which
// is audio.
constexpr std::int32_t CapitalStarts[] = {24170,  44705,  63940,  77735,  87945, 103870,
                                          118095, 129105, 141615, 164337, 181630};
constexpr std::int32_t CapitalSession1LeadOut = 197700;
constexpr std::int32_t CapitalDataStart = CapitalSession1LeadOut + 11400;
constexpr std::int32_t CapitalLeadOut = 332850;

std::shared_ptr<const emulator::Disc> Capital()
{
    std::vector<BuiltTrack> tracks;
    for (std::size_t i = 0; i < 11; ++i) {
        tracks.push_back({static_cast<std::uint8_t>(i + 1), TrackMode::Audio, CapitalStarts[i]});
    }
    tracks.push_back({12, TrackMode::Mode1, CapitalDataStart, 0, 2});
    auto disc = test::BuildCd(tracks, {Session{1, CapitalSession1LeadOut, 0x00}, Session{2, CapitalLeadOut, 0x00}});
    std::string error;
    auto iso = emulator::FileSource::Open(test::TestDataPath("libcdio/copying.iso"), 0, 2048, false, error);
    if (!iso) {
        ADD_FAILURE() << error;
        return disc;
    }
    emulator::Extent& data = disc->extents.back();
    const auto volumeBlocks = static_cast<std::int32_t>(iso->Size() / 2048);
    data.start += volumeBlocks;
    data.length -= volumeBlocks;
    disc->extents.insert(disc->extents.end() - 1, emulator::Extent{CapitalDataStart, volumeBlocks,
                                                                   emulator::SectorFormat::Mode1Data, iso, 0});
    return disc;
}

// Disc addresses 62:05:07 and 100:00:00 as logical blocks (150 frames before block 0).
constexpr std::int32_t At62m05s07f = (62 * 60 + 5) * 75 + 7 - 150;
constexpr std::int32_t At100m = 100 * 60 * 75 - 150;
constexpr std::int32_t Dvd9Blocks = 2 * 2295104; // two full DVD-9 layers

TEST(ReadOf, GivesTheFactsOfTheDisc)
{
    const struct {
        const char* name;
        test::DiscMaker disc;
        std::string expected; // only these facts are checked
    } cases[] = {
        // Controls 9, 8, 2, 1, B, 0: pre-emphasis (bit 0), four channels (bit 3), copy permitted (bit 1).
        {"control nibbles",
         [] {
             std::vector<BuiltTrack> tracks;
             const std::uint8_t controls[] = {0x9, 0x8, 0x2, 0x1, 0xB, 0x0};
             for (std::uint8_t i = 0; i < 6; ++i) {
                 tracks.push_back({static_cast<std::uint8_t>(i + 1), TrackMode::Audio, i * 1000, controls[i]});
             }
             return test::BuildCd(tracks, {Session{1, 6000, 0x00}});
         },
         "track 1 Preemphasis2=true|track 1 Preemphasis4=true|track 1 DigitalCopy=false|"
         "track 3 Preemphasis2=false|track 3 Preemphasis4=false|track 3 DigitalCopy=true|"
         "track 4 Preemphasis2=true|track 4 Preemphasis4=false|track 5 Preemphasis2=true|"
         "track 5 Preemphasis4=true|track 5 DigitalCopy=true|track 6 Preemphasis2=false|"
         "track 6 Preemphasis4=false|track 6 DigitalCopy=false|track 1 Mode=Audio"},
        {"starts past an hour",
         [] {
             return test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, At62m05s07f},
                                   {3, TrackMode::Audio, At100m}},
                                  {Session{1, At100m + 10000, 0x00}});
         },
         "track 2 MSF=62:05:07|track 3 MSF=100:00:00|track 2 LBA=" + std::to_string(At62m05s07f) +
             "|track 3 LBA=" + std::to_string(At100m) + "|track 3 LogicalBlocks=10000"},
        {"mixed modes",
         [] {
             return test::BuildCd({{1, TrackMode::Mode1, 0}, {2, TrackMode::Mode2, 10000},
                                   {3, TrackMode::Audio, 20000, 0x2}},
                                  {Session{1, 30000, 0x20}});
         },
         "track 1 Mode=Mode 1|track 1 RawSize=20480000|track 2 Mode=Mode 2|track 2 RawSize=20480000|"
         "track 3 Mode=Audio|track 3 RawSize=23520000|track 3 DigitalCopy=true|DiscFormat=CD-ROM XA"},
        {"blank CD-RW",
         [] {
             auto disc = test::BuildCd({}, {}, MediaKind::BlankCdRw);
             disc->status = emulator::DiscStatus::Empty;
             return disc;
         },
         "DiscStatus=0|Erasable=true|DiscType=CD-RW|Count=0|Sessions=0|CDDB=|SerialNumber="},
        {"audio CD-R",
         [] {
             return test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 15000}},
                                  {Session{1, 30000, 0x00}}, MediaKind::CdR);
         },
         "DiscType=CD-R|Erasable=false|DiscStatus=2|Count=2"},
        // Sizes beyond 32 bits, exactly.
        {"dual-layer DVD-ROM for region 2", [] { return test::BuildDvd(MediaKind::DvdRom, Dvd9Blocks, 2, 0x02); },
         "DiscType=DVD-ROM|Layers=2|Region=2|TotalLogicalBlocks=4590208|TotalRawSize=9400745984|Count=1|"
         "track 1 Mode=Mode 1|track 1 RawSize=9400745984"},
        {"DVD-RAM", [] { return test::BuildDvd(MediaKind::DvdRam, 100000, 1, 0xFF); },
         "DiscType=DVD-RAM|Erasable=true"},
        // The last audio track ends at its session's lead-out, not 11,400 blocks (2:32) later; the
        // id (whipper's golden) counts every track and the final lead-out.
        {"Enhanced CD", Capital,
         "Count=12|Sessions=2|track 10 LogicalBlocks=17293|track 11 LogicalBlocks=16070|"
         "track 11 RawSize=37796640|track 12 LBA=209100|track 12 Mode=Mode 1|track 11 Mode=Audio|"
         "track 12 LogicalBlocks=123750|track 12 RawSize=253440000|track 12 MSF=46:30:00|"
         "CDDB=B910140C|DiscFormat=CD-DA/CD-ROM|TotalLogicalBlocks=332850|"
         "SerialNumber=6460-44BA|VolumeIdentifier=|VolumeSpaceSize=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VirtualRig rig(c.disc());
        ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
        test::ExpectSomeFacts(test::Parse(c.expected), test::FactsOf(*rig.disc));
    }
}

} // namespace
} // namespace tolvane
