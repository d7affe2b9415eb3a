// CD-Text through the whole chain, against what libcdio, cdrdao and whipper say the discs hold.
#include "disc/DiscFacts.h"

#include "emulator/ImageLoader.h"
#include "support/TestData.h"
#include "util/CdText.h"

namespace tolvane {
namespace {

using Texts = std::vector<std::pair<std::string, std::string>>; // title and performer

Texts Same(const std::vector<std::string>& titles, const std::string& performer)
{
    Texts t;
    for (const std::string& title : titles) {
        t.emplace_back(title, performer);
    }
    return t;
}

// The disc's title and performer, and every track's from `first` on, as facts (Count the last).
std::string Facts(const std::string& title, const std::string& artist, int first, const Texts& tracks)
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

TEST(CdTextOf, GivesTheDiscAndEveryTrackItsTitleAndPerformer)
{
    const struct {
        const char* name;
        test::DiscMaker disc;
        std::string title, artist;
        int firstTrack;
        Texts tracks; // from the first track on
    } cases[] = {
        // cdtext.right: the English block; the German one ("Freudvolle Nächte") is not shown.
        {"pack file of two languages", CatOrchestra, "Joyful Nights", "United Cat Orchestra", 1,
         {{"Song of Joy", "Felix and The Purrs"}, {"Humpty Dumpty", "Catwalk Beauties"}, {"Mee Owwww", "Mia Kitten"}}},
        {"cdda.right", test::Image("libcdio/cdda.cue"), "Join us now we have the software", "Richard Stallman", 1,
         {{"Soft", "Richard S"}}},
        {"p1.cue: disc texts only", test::Image("libcdio/p1.cue"), "Join us now we have the software",
         "Richard Stallman", 1, Same({"", ""}, "")},
        {"cdda_4_5.right: No CD-TEXT on Disc.", test::Image("libcdio/cdda_4_5.cue"), "", "", 4, Same({"", ""}, "")},
        {"first track 4", StartsAtTrackFour, "Late Start", "Someone", 4, {{"Four", "Fourth"}, {"Five", "Fifth"}}},
        // gold/cdtext.showtoc; the toc escapes the backslash and the quotes.
        {"cdrdao escapes", test::Image("cdrdao/cdtext.toc"), "CD Title", "Perf\\ormer", 1,
         {{"Track \"Title\"", "Performer"}}},
        // Block 0 of three (ISO 8859-1, a French block, MS-JIS).
        {"cdrdao three encodings", test::Image("cdrdao/3encodings.toc"), "The Water", "Jeanne Cherhal", 1,
         Same({"Heat Wave", "I am liquid"}, "Jeanne Cherhal")},
        {"breeders, empty performers", test::Image("whipper/breeders.toc"), "MOUNTAIN BATTLES", "THE BREEDERS", 1,
         Same({"OVERGLAZED", "BANG ON", "NIGHT OF JOY", "WE'RE GONNA RISE", "GERMAN STUDIES", "SPARK", "INSTANBUL",
               "WALK IT OFF", "REGLAME ESTA NOCHE", "HERE NO MORE", "NO WAY", "IT'S THE LOVE", "MOUNTAIN BATTLES"},
              "")},
        {"jose in Latin-1", test::Image("whipper/jose.toc"), "In Our Nature", Jose, 1,
         Same({"How Low", "Down The Line", "Killing For Love", "In Our Nature", "Teardrop", "Abram",
               "Time To Send Someone Away", "The Nest", "Fold", "Cycling Trivialities"},
              Jose)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ExpectRead(c.disc(), Facts(c.title, c.artist, c.firstTrack, c.tracks));
    }
}

} // namespace
} // namespace tolvane
