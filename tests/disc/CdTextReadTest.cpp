// CD-Text through the whole chain: an image's texts, packed by the virtual drive
// (or served from a pack file as another tool wrote it), read with READ TOC
// format 5 and decoded into the disc's and every track's title and performer,
// against what libcdio, cdrdao and whipper say the discs hold.
#include "disc/DiscFacts.h"

#include "disc/OpticalDisk.h"
#include "emulator/DemoDiscs.h"
#include "emulator/ImageLoader.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"
#include "util/CdText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

using emulator::Session;
using emulator::TrackMode;

struct TextCase {
    const char* name;
    std::function<std::shared_ptr<const emulator::Disc>()> disc;
    std::string title;
    std::string artist;
    std::uint8_t firstTrack;
    std::vector<std::pair<std::string, std::string>> tracks; // title and performer, from the first track on
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class CdTextOf : public ::testing::TestWithParam<TextCase> {};

TEST_P(CdTextOf, GivesTheDiscAndEveryTrackItsTitleAndPerformer)
{
    const TextCase& c = GetParam();
    test::VirtualRig rig(c.disc());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CDText()->Title(), c.title);
    EXPECT_EQ(rig.disc->CDText()->Artist(), c.artist);
    ASSERT_EQ(rig.disc->Count(), c.firstTrack + c.tracks.size() - 1);
    for (std::size_t i = 0; i < c.tracks.size(); ++i) {
        const int n = c.firstTrack + static_cast<int>(i);
        SCOPED_TRACE("track " + std::to_string(n));
        const auto track = rig.disc->Track(static_cast<std::int16_t>(n));
        ASSERT_NE(track, nullptr);
        ASSERT_NE(track->CDText(), nullptr);
        EXPECT_EQ(track->CDText()->Title(), c.tracks[i].first);
        EXPECT_EQ(track->CDText()->Artist(), c.tracks[i].second);
    }
}

std::function<std::shared_ptr<const emulator::Disc>()> Image(const char* relative)
{
    return [relative] { return test::LoadTestImage(relative); };
}

// libcdio's cdtext.cdt (packs as a drive returns them, without the 4-byte header, and
// one stray byte at the end) served by a cue sheet for three tracks of silence.
std::shared_ptr<const emulator::Disc> CatOrchestra()
{
    static const test::TempDir folder;
    folder.CopyTestData("libcdio/cdtext.cdt", "cdtext.cdt");
    folder.Write("silence.bin", std::vector<std::uint8_t>(std::size_t{450} * 2352, 0));
    const std::string cue = folder.Write("cats.cue", "CDTEXTFILE \"cdtext.cdt\"\n"
                                                     "FILE \"silence.bin\" BINARY\n"
                                                     "  TRACK 01 AUDIO\n"
                                                     "    INDEX 01 00:00:00\n"
                                                     "  TRACK 02 AUDIO\n"
                                                     "    INDEX 01 00:02:00\n"
                                                     "  TRACK 03 AUDIO\n"
                                                     "    INDEX 01 00:04:00\n");
    const auto loaded = emulator::LoadImage(cue);
    EXPECT_TRUE(loaded.disc) << loaded.error;
    return loaded.disc;
}

// CD-Text of a disc whose first track is 4: the packs count tracks from 4.
std::shared_ptr<const emulator::Disc> StartsAtTrackFour()
{
    auto disc =
        test::BuildCd({{4, TrackMode::Audio, 0}, {5, TrackMode::Audio, 150}}, {Session{1, 302, 0x00}});
    cdtext::Block block;
    block.texts[cdtext::Title] = {"Late Start", "Four", "Five"};
    block.texts[cdtext::Performer] = {"Someone", "Fourth", "Fifth"};
    disc->cdText.push_back(block);
    return disc;
}

const std::vector<std::pair<std::string, std::string>> BreedersTracks = {
    {"OVERGLAZED", ""},         {"BANG ON", ""},      {"NIGHT OF JOY", ""}, {"WE'RE GONNA RISE", ""},
    {"GERMAN STUDIES", ""},     {"SPARK", ""},        {"INSTANBUL", ""},    {"WALK IT OFF", ""},
    {"REGLAME ESTA NOCHE", ""}, {"HERE NO MORE", ""}, {"NO WAY", ""},       {"IT'S THE LOVE", ""},
    {"MOUNTAIN BATTLES", ""},
};

// The toc writes the name as octal escapes of its ISO 8859-1 bytes, Jos\351 Gonz\341lez.
const std::string Jose = "José González"; // UTF-8

const std::vector<std::pair<std::string, std::string>> JoseTracks = {
    {"How Low", Jose},
    {"Down The Line", Jose},
    {"Killing For Love", Jose},
    {"In Our Nature", Jose},
    {"Teardrop", Jose},
    {"Abram", Jose},
    {"Time To Send Someone Away", Jose},
    {"The Nest", Jose},
    {"Fold", Jose},
    {"Cycling Trivialities", Jose},
};

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, CdTextOf,
    ::testing::Values(
        // cdtext.right: the English block; the German one ("Freudvolle Nächte") is not shown.
        TextCase{"packFileOfTwoLanguages",
                 CatOrchestra,
                 "Joyful Nights",
                 "United Cat Orchestra",
                 1,
                 {{"Song of Joy", "Felix and The Purrs"},
                  {"Humpty Dumpty", "Catwalk Beauties"},
                  {"Mee Owwww", "Mia Kitten"}}},
        // cdda.right
        TextCase{"cueSheet",
                 Image("libcdio/cdda.cue"),
                 "Join us now we have the software",
                 "Richard Stallman",
                 1,
                 {{"Soft", "Richard S"}}},
        // p1.cue has disc texts only.
        TextCase{"cueSheetWithDiscTextOnly",
                 Image("libcdio/p1.cue"),
                 "Join us now we have the software",
                 "Richard Stallman",
                 1,
                 {{"", ""}, {"", ""}}},
        // cdda_4_5.right: "No CD-TEXT on Disc."
        TextCase{"noCdText", Image("libcdio/cdda_4_5.cue"), "", "", 4, {{"", ""}, {"", ""}}},
        TextCase{"firstTrackFour",
                 StartsAtTrackFour,
                 "Late Start",
                 "Someone",
                 4,
                 {{"Four", "Fourth"}, {"Five", "Fifth"}}},
        // gold/cdtext.showtoc; the toc escapes the backslash and the quotes.
        TextCase{"cdrdaoEscapes",
                 Image("cdrdao/cdtext.toc"),
                 "CD Title",
                 "Perf\\ormer",
                 1,
                 {{"Track \"Title\"", "Performer"}}},
        // Block 0 of three (ISO 8859-1, a French block, MS-JIS).
        TextCase{"cdrdaoThreeEncodings",
                 Image("cdrdao/3encodings.toc"),
                 "The Water",
                 "Jeanne Cherhal",
                 1,
                 {{"Heat Wave", "Jeanne Cherhal"}, {"I am liquid", "Jeanne Cherhal"}}},
        TextCase{"breedersWithEmptyPerformers", Image("whipper/breeders.toc"), "MOUNTAIN BATTLES",
                 "THE BREEDERS", 1, BreedersTracks},
        TextCase{"joseInLatin1", Image("whipper/jose.toc"), "In Our Nature", Jose, 1, JoseTracks},
        // The demo generator records these names in ISO 8859-1.
        TextCase{"demoCd",
                 emulator::MakeDemoCd,
                 "Tolvane Demo",
                 "Les Synthés de Tolvane",
                 1,
                 {{"Café au Lait", "Les Synthés de Tolvane"},
                  {"Señal del Mar", "Orquesta Mañana"},
                  {"Ærø Harbour Lights", "Trio Ærøskøbing"},
                  {"Über die Hügel", "Kammerensemble Süd"},
                  {"Rêverie Boréale", "Élodie et les Synthés"},
                  {"Smörgåsbord Finale", "Ensemble Façade"}}}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tolvane
