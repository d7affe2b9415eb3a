// What a read makes of discs built for one question each, of an Enhanced CD, of libcdio's
// images' ISO 9660 volumes as iso-info, isoinfo and xorriso print them, with serial numbers, and
// of the CD-Text of libcdio's, cdrdao's and whipper's discs.
#include "disc/DiscFacts.h"

#include "emulator/DemoDiscs.h"
#include "emulator/ImageLoader.h"
#include "support/TestData.h"
#include "util/CdText.h"

namespace tolvane {
namespace {

using emulator::Session;
using emulator::TrackMode;
using test::BuiltTrack;

// Lola (Capital) as whipper's capital.1.toc and capital.2.toc give it: eleven audio tracks, then
// a Mode 1 session 11,400 blocks after session 1's lead-out. Its data starts with libcdio's
// copying.iso, so the last session's descriptor shows apart from block 16, which is audio.
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
    const Session first{1, CapitalSession1LeadOut, 0x00};
    auto disc = test::BuildCd(tracks, {first, Session{2, CapitalLeadOut, 0x00}});
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

using Texts = std::vector<std::pair<std::string, std::string>>; // title and performer

Texts Same(const std::vector<std::string>& titles, const std::string& performer)
{
    Texts t;
    for (const std::string& title : titles) {
        t.emplace_back(title, performer);
    }
    return t;
}

// The disc's CD-Text title and performer, and every track's from `first` on, as facts (Count the last).
std::string TextFacts(const std::string& title, const std::string& artist, int first, const Texts& tracks)
{
    std::string f = "Title=" + title + "|Artist=" + artist + "|Count=";
    f += std::to_string(first + tracks.size() - 1);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::string track = "|track " + std::to_string(first + i);
        f += track + " Title=" + tracks[i].first + track + " Artist=" + tracks[i].second;
    }
    return f;
}

// libcdio's cdtext.cdt (packs as a drive returns them, without the 4-byte header, and one
// stray byte at the end) served by a cue sheet for three tracks of silence.
std::shared_ptr<const emulator::Disc> CatOrchestra()
{
    static const test::TempDir folder;
    folder.CopyTestData("libcdio/cdtext.cdt", "cdtext.cdt");
    folder.Write("silence.bin", std::vector<std::uint8_t>(std::size_t{450} * 2352, 0));
    const auto loaded = emulator::LoadImage(folder.Write(
        "cats.cue", "CDTEXTFILE \"cdtext.cdt\"\nFILE \"silence.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n  TRACK 03 AUDIO\n    INDEX 01 00:04:00\n"));
    EXPECT_TRUE(loaded.disc) << loaded.error;
    return loaded.disc;
}

// A disc whose first track is 4: the packs count tracks from 4.
std::shared_ptr<const emulator::Disc> StartsAtTrackFour()
{
    using emulator::TrackMode;
    auto disc = test::BuildCd({{4, TrackMode::Audio, 0}, {5, TrackMode::Audio, 150}}, {{1, 302, 0x00}});
    cdtext::Block block;
    block.texts[cdtext::Title] = {"Late Start", "Four", "Five"};
    block.texts[cdtext::Performer] = {"Someone", "Fourth", "Fifth"};
    disc->cdText.push_back(block);
    return disc;
}

// The toc writes the name as octal escapes of its ISO 8859-1 bytes, Jos\351 Gonz\341lez.
const std::string Jose = "José González";

// The fields every tool leaves blank for these images; creation, modification and effective
// dates alike, expiration 0000000000000000 (not specified).
std::string Common(const std::string& date)
{
    return "VolumeSetIdentifier=|CopyrightFileIdentifier=|AbstractFileIdentifier=|BibliographicalFileIdentifier=|"
           "LogicalBlockSize=2048|VolumeExpiration=|VolumeCreation=" +
           date + "|VolumeModification=" + date + "|VolumeEffective=" + date + "|";
}

const std::string Mkisofs = "|ApplicationIdentifier=MKISOFS ISO 9660/HFS FILESYSTEM BUILDER & CDRECORD CD-R/DVD "
                            "CREATOR (C) 1993 E.YOUNGDALE (C) 1997 J.PEARSON/J.SCHILLING";
const std::string K3b = "|ApplicationIdentifier=K3B THE CD KREATOR VERSION 0.11.";
const std::string K3bTail = " (C) 2003 SEBASTIAN TRUEG AND THE K3B TEAM";

// Volumes from the *.xorriso-pvd.txt, *.isoinfo-d.txt and *.iso-info.txt beside each image, dates as
// "%x %X" in the classic locale. A data disc's serial sums each byte lane of its descriptor modulo
// 256; an audio disc's sums its tracks' 00MMSSFF (and, for one or two tracks, its length in frames).
TEST(ReadOf, GivesTheFactsOfTheDiscItsVolumeAndItsCdText)
{
    const struct {
        const char* name;
        test::DiscMaker disc;
        std::string expected; // only these facts are checked
    } cases[] = {
        // Controls 9, 1, 8: pre-emphasis is bit 0, four channels with it bits 0 and 3 (the copy bit
        // and the modes: RealDiscsTest).
        {"control nibbles",
         [] {
             return test::BuildCd({{1, TrackMode::Audio, 0, 0x9}, {2, TrackMode::Audio, 1000, 0x1},
                                   {3, TrackMode::Audio, 2000, 0x8}},
                                  {Session{1, 3000, 0x00}});
         },
         "track 1 Preemphasis2=true|track 1 Preemphasis4=true|track 2 Preemphasis2=true|"
         "track 2 Preemphasis4=false|track 3 Preemphasis2=false|track 3 Preemphasis4=false"},
        // The last audio track ends at its session's lead-out, not 11,400 blocks (2:32) later; the
        // id (whipper's golden) counts every track and the final lead-out.
        {"Enhanced CD", Capital,
         "Count=12|Sessions=2|track 10 LogicalBlocks=17293|track 11 LogicalBlocks=16070|"
         "track 11 RawSize=37796640|track 12 LBA=209100|track 12 Mode=Mode 1|track 11 Mode=Audio|"
         "track 12 LogicalBlocks=123750|track 12 RawSize=253440000|track 12 MSF=46:30:00|"
         "CDDB=B910140C|DiscFormat=CD-DA/CD-ROM|TotalLogicalBlocks=332850|"
         "SerialNumber=6460-44BA|VolumeIdentifier=|VolumeSpaceSize=0"},
        {"copying.iso (2006010516501900)", test::Image("libcdio/copying.iso"),
         Common("01/05/06 16:50:19") + "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|"
                                       "DataPreparerIdentifier=|VolumeSpaceSize=64|SerialNumber=6460-44BA" + Mkisofs},
        {"copying-rr.iso (2005030511122500)", test::Image("libcdio/copying-rr.iso"),
         Common("03/05/05 11:12:25") + "VolumeIdentifier=Rock Ridge Copy test|SystemIdentifier=LINUX|"
                                       "PublisherIdentifier=Rocky Bernstein|DataPreparerIdentifier=K3b - Version "
                                       "0.11.20|VolumeSpaceSize=186|SerialNumber=27C5-E4CE" + K3b + "20" + K3bTail},
        // The primary descriptor fills the fields; the Joliet one (at 17; the primary's would give
        // E662-BABE) gives the serial.
        {"joliet.iso (2004102218445900)", test::Image("libcdio/joliet.iso"),
         Common("10/22/04 18:44:59") + "VolumeIdentifier=K3b data project|SystemIdentifier=LINUX|"
                                       "PublisherIdentifier=Rocky Bernstein|DataPreparerIdentifier=K3b - Version "
                                       "0.11.12|VolumeSpaceSize=198|SerialNumber=C706-26E1" + K3b + "12" + K3bTail},
        // Primary at 16, Joliet at 17 (the serial's), terminator at 18, then the UDF bridge.
        {"test-udf1.iso (2012012321161100)", test::Image("libcdio/test-udf1.iso"),
         Common("01/23/12 21:16:11") +
             "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|DataPreparerIdentifier=|"
             "VolumeSpaceSize=445|SerialNumber=7B5B-3BA7|ApplicationIdentifier=GENISOIMAGE ISO 9660/HFS FILESYSTEM "
             "CREATOR (C) 1993 E.YOUNGDALE (C) 1997-2006 J.PEARSON/J.SCHILLING (C) 2006-2007 CDRKIT TEAM"},
        // MODE1/2352: the descriptor is the user data of block 16, 16 bytes into its 2,352.
        {"isofs-m1.cue (2003042012291800)", test::Image("libcdio/isofs-m1.cue"),
         Common("04/20/03 12:29:18") + "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|"
                                       "DataPreparerIdentifier=|VolumeSpaceSize=64|SerialNumber=6D57-81EA" + Mkisofs},
        // udf102.iso has BEA01 at block 16 and no ISO 9660 descriptor; all three tools find none,
        // so there is no serial either. The disc itself reads.
        {"udf102.iso", test::Image("libcdio/udf102.iso"),
         "VolumeIdentifier=|SystemIdentifier=|PublisherIdentifier=|DataPreparerIdentifier=|"
         "ApplicationIdentifier=|VolumeSetIdentifier=|CopyrightFileIdentifier=|AbstractFileIdentifier=|"
         "BibliographicalFileIdentifier=|VolumeCreation=|VolumeModification=|VolumeEffective=|"
         "VolumeExpiration=|VolumeSpaceSize=0|LogicalBlockSize=0|PathTableSize=0|LPathTableLocation=0|"
         "MPathTableLocation=0|OptionalLPathTableLocation=0|OptionalMPathTableLocation=0|SerialNumber=|"
         "track 1 Mode=Mode 1"},
        // The demo generator: 2024-03-21 09:30:00, expiring fifty years later. Dual layer, region 2,
        // sizes beyond 32 bits.
        {"demo DVD", emulator::MakeDemoDvd,
         "DiscType=DVD-ROM|Layers=2|Region=2|TotalLogicalBlocks=4000000|TotalRawSize=8192000000|Count=1|"
         "track 1 Mode=Mode 1|track 1 RawSize=8192000000|"
         "VolumeIdentifier=TOLVANE_DEMO_DVD|SystemIdentifier=TOLVANE|VolumeSetIdentifier=TOLVANE_DEMO|"
         "PublisherIdentifier=BREVANTIS|DataPreparerIdentifier=TOLVANE VIRTUAL DRIVE|"
         "ApplicationIdentifier=TOLVANE DEMO DISC GENERATOR|CopyrightFileIdentifier=COPYRGHT.TXT;1|"
         "AbstractFileIdentifier=README.TXT;1|BibliographicalFileIdentifier=BIBLIO.TXT;1|VolumeSpaceSize=4000000|"
         "LogicalBlockSize=2048|PathTableSize=10|LPathTableLocation=18|MPathTableLocation=19|"
         "OptionalLPathTableLocation=0|OptionalMPathTableLocation=0|VolumeCreation=03/21/24 09:30:00|"
         "VolumeModification=03/21/24 09:30:00|VolumeEffective=03/21/24 09:30:00|"
         "VolumeExpiration=03/21/74 09:30:00"},
        // Audio discs (cdda.cue's serial: tests/cli's report): track starts and lead-outs as
        // SOURCES.md section 7 lists them (0, 4875/9000; breeders' thirteen tracks/165122).
        {"t7.toc", test::Image("cdrdao/t7.toc"), "SerialNumber=0001-2C28"},
        {"breeders.toc", test::Image("whipper/breeders.toc"), "SerialNumber=00D1-889E"},
        // CD-Text through the whole chain, against what libcdio, cdrdao and whipper say the discs hold.
        // cdtext.right: the English block; the German one ("Freudvolle Nächte") is not shown.
        {"pack file of two languages", CatOrchestra,
         TextFacts("Joyful Nights", "United Cat Orchestra", 1,
                   {{"Song of Joy", "Felix and The Purrs"}, {"Humpty Dumpty", "Catwalk Beauties"},
                    {"Mee Owwww", "Mia Kitten"}})},
        {"cdda.right", test::Image("libcdio/cdda.cue"),
         TextFacts("Join us now we have the software", "Richard Stallman", 1, {{"Soft", "Richard S"}})},
        {"p1.cue: disc texts only", test::Image("libcdio/p1.cue"),
         TextFacts("Join us now we have the software", "Richard Stallman", 1, Same({"", ""}, ""))},
        {"cdda_4_5.right: No CD-TEXT on Disc.", test::Image("libcdio/cdda_4_5.cue"),
         TextFacts("", "", 4, Same({"", ""}, ""))},
        {"first track 4", StartsAtTrackFour,
         TextFacts("Late Start", "Someone", 4, {{"Four", "Fourth"}, {"Five", "Fifth"}})},
        // gold/cdtext.showtoc; the toc escapes the backslash and the quotes.
        {"cdrdao escapes", test::Image("cdrdao/cdtext.toc"),
         TextFacts("CD Title", "Perf\\ormer", 1, {{"Track \"Title\"", "Performer"}})},
        // Block 0 of three (ISO 8859-1, a French block, MS-JIS).
        {"cdrdao three encodings", test::Image("cdrdao/3encodings.toc"),
         TextFacts("The Water", "Jeanne Cherhal", 1, Same({"Heat Wave", "I am liquid"}, "Jeanne Cherhal"))},
        {"breeders, empty performers", test::Image("whipper/breeders.toc"),
         TextFacts("MOUNTAIN BATTLES", "THE BREEDERS", 1,
                   Same({"OVERGLAZED", "BANG ON", "NIGHT OF JOY", "WE'RE GONNA RISE", "GERMAN STUDIES",
                         "SPARK", "INSTANBUL", "WALK IT OFF", "REGLAME ESTA NOCHE", "HERE NO MORE", "NO WAY",
                         "IT'S THE LOVE", "MOUNTAIN BATTLES"},
                        ""))},
        {"jose in Latin-1", test::Image("whipper/jose.toc"),
         TextFacts("In Our Nature", Jose, 1,
                   Same({"How Low", "Down The Line", "Killing For Love", "In Our Nature", "Teardrop", "Abram",
                         "Time To Send Someone Away", "The Nest", "Fold", "Cycling Trivialities"},
                        Jose))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ExpectRead(c.disc(), c.expected);
    }
}

} // namespace
} // namespace tolvane
