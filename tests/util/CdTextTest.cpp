#include "util/CdText.h"

#include "support/Hex.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tolvane::cdtext {
namespace {

using namespace std::string_view_literals;
using Packs = std::vector<std::uint8_t>;

// One pack with a valid CRC; text is cut or NUL-padded to 12 bytes.
Packs MakePack(std::uint8_t type, std::uint8_t track, std::uint8_t sequence, std::uint8_t flags,
               std::string_view text)
{
    Packs pack(PackSize, 0);
    pack[0] = type, pack[1] = track, pack[2] = sequence, pack[3] = flags;
    for (std::size_t i = 0; i < text.size() && i < 12; ++i)
        pack[4 + i] = static_cast<std::uint8_t>(text[i]);
    PutBe16(pack, 16, PackCrc(ConstBytes(pack).first(16)));
    return pack;
}

Packs Concat(const std::vector<Packs>& packs)
{
    Packs out;
    for (const auto& pack : packs)
        out.insert(out.end(), pack.begin(), pack.end());
    return out;
}

constexpr std::uint8_t TrackTypes[] = {Title, Performer, Songwriter, Composer, Message, Arranger, UpcIsrc};

// libcdio's cdtext.cdt against its golden test/cdtext.right (ISO 8859-1 bytes as the packs hold them).
// Per block and index: title, performer, songwriter, composer, message, arranger, UPC/ISRC.
const std::array<std::array<const char*, 7>, 4> LibcdioTexts[2] = {
    {{{"Joyful Nights", "United Cat Orchestra", "Various Songwriters", "Various Composers",
       "For all our fans", "Tom Cat", "1234567890123"},
      {"Song of Joy", "Felix and The Purrs", "Friedrich Schiller", "Ludwig van Beethoven",
       "Fritz and Louie once were punks", "Tom Cat", "XYBLG1101234"},
      {"Humpty Dumpty", "Catwalk Beauties", "Mother Goose", "unknown", "Pluck the goose", "Tom Cat",
       "XYBLG1100005"},
      {"Mee Owwww", "Mia Kitten", "Mia Kitten", "Mia Kitten", "", "Mia Kitten", "XYBLG1100006"}}},
    {{{"Freudvolle N\xE4"
       "chte",
       "Vereinigtes Katzenorchester", "Verschiedene Liedschreiber", "Verschiedene Komponisten",
       "F\xFCr alle unsere Fans", "Tom Cat", "1234567890123"},
      {"Lied der Freude", "Felix und Die Schnurrer", "Friedrich Schiller", "Ludwig van Beethoven",
       "Fritz und Louie waren einmal Punks", "Tom Cat", "XYBLG1101234"},
      {"Rubbeldiekatz", "Katzengang Sch\xF6nheiten", "Mutter Gans", "unbekannt", "Rupft die Gans", "Tom Cat",
       "XYBLG1100005"},
      {"Mie auu", "Mia K\xE4tzchen", "Mia K\xE4tzchen", "Mia K\xE4tzchen", "", "Mia K\xE4tzchen",
       "XYBLG1100006"}}}};

TEST(CdTextTest, DecodesAndReencodesLibcdioFile)
{
    const auto file = test::ReadBytes(test::TestDataPath("libcdio/cdtext.cdt"));
    ASSERT_EQ(file.size(), 1729u) << "libcdio/cdtext.cdt missing: set TOLVANE_TESTDATA";
    const Decoded decoded = Decode(file);
    EXPECT_EQ(decoded.badCrcPacks, 0) << "our CRC agrees with every one of the file's packs";
    EXPECT_EQ(decoded.firstTrack, 1);
    EXPECT_EQ(decoded.lastTrack, 3);
    ASSERT_EQ(decoded.blocks.size(), 2u);
    // Languages (English, German) as cdtext.right names them; character codes from the size information.
    const std::tuple<std::uint8_t, std::uint8_t, std::uint16_t, std::string> blocks[] = {
        {0x09, CharsetAscii, 5, "Feline classic music"}, {0x08, CharsetLatin1, 5, "Katzenhafte Klassik"}};
    for (std::size_t b = 0; b < 2; ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        const Block& block = decoded.blocks[b];
        for (std::size_t i = 0; i < 4; ++i)
            for (std::size_t t = 0; t < 7; ++t)
                EXPECT_EQ(block.Text(TrackTypes[t], i), LibcdioTexts[b][i][t])
                    << "index " << i << " field " << t;
        EXPECT_EQ(block.Text(DiscId, 0), "1234567890");
        const auto& [language, charset, genre, genreText] = blocks[b];
        EXPECT_EQ(block.language, language);
        EXPECT_EQ(block.characterCode, charset);
        EXPECT_EQ(block.genreCode, genre);
        EXPECT_EQ(block.genreText, genreText);
        // Closed information (0x8D) is not for display and must not leak into any text.
        std::vector<std::uint8_t> types;
        for (const auto& entry : block.texts)
            types.push_back(entry.first);
        EXPECT_EQ(types, (std::vector<std::uint8_t>{Title, Performer, Songwriter, Composer, Arranger, Message,
                                                    DiscId, UpcIsrc}));
    }

    // Re-encoding gives the file's packs, apart from what follows from leaving out its closed-information
    // packs: the sequence numbers, CRCs and size counts of the packs behind them.
    const auto encoded = Encode(decoded.blocks, decoded.firstTrack, decoded.lastTrack);
    std::vector<ConstBytes> reference;
    for (std::size_t i = 0; i < 96; ++i)
        if (file[i * PackSize] != ClosedInfo)
            reference.push_back(ConstBytes(file).subspan(i * PackSize, PackSize));
    ASSERT_EQ(encoded.size(), reference.size() * PackSize);
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const ConstBytes ours = ConstBytes(encoded).subspan(i * PackSize, PackSize), theirs = reference[i];
        const bool behindClosedInfo = theirs[0] == UpcIsrc || theirs[0] == SizeInfo;
        for (std::size_t k = 0; k < PackSize; ++k) {
            if ((behindClosedInfo && (k == 2 || k >= 16)) ||
                (theirs[0] == SizeInfo && theirs[1] == 1 && (k == 9 || (k >= 12 && k < 16))))
                continue;
            EXPECT_EQ(ours[k], theirs[k]) << "pack " << i << " byte " << k;
        }
    }
}

Packs WithBadCrc(Packs pack)
{
    pack[17] ^= 0x01;
    return pack;
}

TEST(CdTextTest, DecodesTextsByPosition)
{
    // The continuation of "Song O" in a pack that lacks its last byte.
    auto partial = MakePack(Title, 0, 0, 0x00, "Album\0Song O"sv);
    const auto cut = MakePack(Title, 1, 1, 0x06, "ne\0"sv);
    partial.insert(partial.end(), cut.begin(), cut.end() - 1);
    struct Case {
        const char* name;
        Packs packs;
        std::vector<std::pair<std::size_t, std::string>> titles; // index, expected title
        int badCrc = 0;
    } const cases[] = {
        // A string that starts in a pack numbered for the previous track still belongs to the next
        // track, and whole strings inside one pack each get their own track.
        {"StringStartsInEarlierPack",
         Concat({MakePack(Title, 0, 0, 0x00, "Album\0Song O"sv),
                 MakePack(Title, 1, 1, 0x06, "ne\0Track2\0\0\0"sv)}),
         {{0, "Album"}, {1, "Song One"}, {2, "Track2"}, {3, ""}}},
        {"TabInsideTextIsLiteral",
         MakePack(Title, 1, 0, 0x00, "A\0\tB\0B\t\0"sv),
         {{1, "A"}, {2, "\tB"}, {3, "B\t"}}},
        {"BadCrcIsCountedAndStillDecoded",
         Concat(
             {WithBadCrc(MakePack(Title, 0, 0, 0x00, "Album\0"sv)), MakePack(UpcIsrc, 0, 1, 0x00, "0\0"sv)}),
         {{0, "Album"}},
         1},
        {"TrailingPartialPackIgnored", partial, {{0, "Album"}, {1, "Song O"}}},
        {"UnterminatedLastString", MakePack(Title, 0, 0, 0x00, "Twelve bytes"), {{0, "Twelve bytes"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = Decode(c.packs);
        EXPECT_EQ(decoded.badCrcPacks, c.badCrc);
        ASSERT_EQ(decoded.blocks.size(), 1u);
        for (const auto& [index, title] : c.titles)
            EXPECT_EQ(decoded.blocks[0].Text(Title, index), title) << "index " << index;
    }
}

Block MakeBlock(std::uint8_t language, std::uint8_t charset,
                std::map<std::uint8_t, std::vector<std::string>> texts, std::uint16_t genre = 0,
                std::string genreText = "")
{
    return Block{.language = language,
                 .characterCode = charset,
                 .texts = std::move(texts),
                 .genreCode = genre,
                 .genreText = std::move(genreText)};
}

TEST(CdTextTest, EncodeDecodeRoundTrip)
{
    const Block english = MakeBlock(0x09, CharsetLatin1,
                                    {{Title, {"Disc Title", "First", "Second"}},
                                     {Performer, {"Band", "Band", "Guest"}},
                                     {DiscId, {"XY12345"}},
                                     {UpcIsrc, {"0724385356926", "USXX19801234", "USXX19801235"}}},
                                    0x0018, "Rock and roll");
    // Shift-JIS texts of cdrdao's 3encodings.toc; the last title holds a pair with a zero byte and a
    // zero byte that straddles two pairs, neither of which may end the string; the message's zero byte
    // ends it only if messages are wrongly taken as single-byte.
    const Block japanese =
        MakeBlock(0x69, CharsetMsJis,
                  {{Title,
                    {"\x8E\xBC\x82\xC1\x82\xBD\x90\x85", "\x94\x4D\x94\x67",
                     std::string("\x82\xA0\x00\x41\x41\x00\x00\x42"sv)}},
                   {Performer,
                    {"\x94\x92\x90\x6C\x82\xCC\x83\x74\x83\x89\x83\x93\x83\x58\x90\x6C\x8F\x97\x90\xAB",
                     "\x94\x92\x90\x6C", "\x94\x92\x90\x6C"}},
                   {Message, {"", std::string("\x82\xA0\x00\x41"sv)}},
                   {UpcIsrc, {"", "FR79W0600410", "FR79W0600420"}}});
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        std::uint8_t firstTrack, lastTrack;
        bool tabs = false;
    } const cases[] = {{"LongTextsSpanPacks",
                        {MakeBlock(0x09, CharsetLatin1,
                                   {{Title, {std::string(80, 'T'), std::string(39, 'a'), "x"}},
                                    {Message, {std::string(160, '0'), "", std::string(12, 'm')}}},
                                   0x0005, "A genre text that needs more than one pack")},
                        1,
                        2},
                       {"DoubleByteBlockFromTrackFour", {english, japanese}, 4, 5},
                       {"TabRepeats",
                        {MakeBlock(0x09, CharsetLatin1,
                                   {{Title, {"Album", "A", "B", "B", "C", "C"}},
                                    {Performer, std::vector<std::string>(6, "Same Artist")},
                                    {Songwriter, {"", "W", "W"}}}),
                         japanese},
                        1,
                        5,
                        true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto packs = Encode(c.blocks, c.firstTrack, c.lastTrack, c.tabs);
        if (c.tabs) {
            EXPECT_LT(packs.size(), Encode(c.blocks, c.firstTrack, c.lastTrack, false).size())
                << "a TAB stands for a repeated text";
        }
        const Decoded decoded = Decode(packs);
        EXPECT_EQ(decoded.badCrcPacks, 0);
        EXPECT_EQ(decoded.firstTrack, c.firstTrack);
        EXPECT_EQ(decoded.lastTrack, c.lastTrack);
        ASSERT_EQ(decoded.blocks.size(), c.blocks.size());
        for (std::size_t b = 0; b < c.blocks.size(); ++b) {
            const Block &in = c.blocks[b], &out = decoded.blocks[b];
            EXPECT_EQ(std::tuple(out.language, out.characterCode, out.genreCode, out.genreText),
                      std::tuple(in.language, in.characterCode, in.genreCode, in.genreText))
                << b;
            EXPECT_EQ(out.texts, in.texts) << b;
        }
    }
}

std::string Latin1ToUtf8(std::string_view text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out.push_back(ch);
        else
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

// Our packs read by libcdio's cd-info, an independent decoder: each TITLE and PERFORMER line it lists
// under "Language n" and "CD-TEXT for Disc/Track n" must be our text (as UTF-8), and no other.
TEST(CdTextTest, ReadByCdInfo)
{
    if (std::system("command -v cd-info >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
    const Block english =
        MakeBlock(0x09, CharsetLatin1,
                  {{Title, {"Disc Title!", "One", "A second title longer than a pack", "Tri"}},
                   {Performer,
                    {"Performer 4", "Ann", "Bob",
                     "Gr\xFC\xDF"
                     "e"}}});
    const Block german = MakeBlock(0x08, CharsetLatin1,
                                   {{Title,
                                     {"Freudvolle N\xE4"
                                      "chte",
                                      "Eins", "Zwei", "Drei"}},
                                    {Performer, {"Die Kapelle", "Sch\xF6n", "B", "C"}}});
    // libcdio counts a pack's strings on from its track number, so a track text that starts in a disc
    // pack lands on track 1 whatever the first track; 12-byte disc texts give track texts their own packs.
    const std::tuple<std::vector<Block>, std::uint8_t> cases[] = {{{english, german}, 1}, {{english}, 4}};
    for (const auto& [blocks, firstTrack] : cases) {
        SCOPED_TRACE(int{firstTrack});
        const test::TempDir dir;
        dir.Write("x.cdt", Encode(blocks, firstTrack, firstTrack + 2));
        dir.Write("x.bin", std::string(3 * 75 * 2352, '\0')); // one second of silence per track
        std::string cue = "CDTEXTFILE \"x.cdt\"\nFILE \"x.bin\" BINARY\n";
        for (int n = 0; n < 3; ++n)
            cue += "TRACK 0" + std::to_string(firstTrack + n) + " AUDIO\nINDEX 01 00:0" + std::to_string(n) +
                   ":00\n";
        dir.Write("x.cue", cue);
        std::string command = "cd '" + dir.Path() + "' && cd-info --no-device-info --no-cddb -c x.cue 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::map<std::string, std::string> listed; // "block/track FIELD" (track 0: the disc) -> text
        std::string where;
        for (char line[4096]; std::fgets(line, sizeof line, pipe) != nullptr;) {
            int language = 0, track = 0;
            std::string text = line;
            text.erase(text.find_last_not_of("\r\n") + 1);
            if (std::sscanf(line, "Language %d", &language) == 1)
                where = std::to_string(language) + "/";
            else if (std::sscanf(line, "CD-TEXT for Track %d:", &track) == 1 || text == "CD-TEXT for Disc:")
                where = where.substr(0, where.find('/') + 1) + std::to_string(track);
            else if (const auto colon = text.find(": ");
                     !where.empty() && text.starts_with("\t") && colon != std::string::npos)
                listed[where + " " + text.substr(1, colon - 1)] = text.substr(colon + 2);
        }
        pclose(pipe);
        std::map<std::string, std::string> ours;
        for (std::size_t b = 0; b < blocks.size(); ++b)
            for (std::size_t i = 0; i <= 3; ++i)
                for (const auto& [type, field] :
                     {std::pair{Title, " TITLE"}, std::pair{Performer, " PERFORMER"}})
                    if (const std::string& text = blocks[b].Text(type, i); !text.empty())
                        ours[std::to_string(b) + "/" + std::to_string(i == 0 ? 0 : firstTrack + i - 1) +
                             field] = Latin1ToUtf8(text);
        EXPECT_EQ(listed, ours);
    }
}

// A fuzzed title pack, then two genre packs whose first carries the double-byte flag. The genre text is
// ASCII in every block, so it ends at the first NUL; read two bytes at a time it once ran on past it.
TEST(CdTextRegression, GenreTextEndsAtItsNulWhateverThePackFlag)
{
    const Decoded decoded = Decode(test::Hex("80 00 00 00 4d 4f 55 87 87 87 87 87 87 87 87 87 87 87"
                                             "87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87 87"
                                             "87 87 87 87 87 87 87 87 87 00 00 01 2b 00 00 00 da 77"));
    ASSERT_EQ(decoded.blocks.size(), 1u);
    EXPECT_EQ(decoded.blocks.front().genreCode, 0x8787);
    EXPECT_EQ(decoded.blocks.front().genreText, std::string(15, '\x87'));
}

} // namespace
} // namespace tolvane::cdtext
