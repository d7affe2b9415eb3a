// AccurateRip's responses (whipper's recorded ones), the verdicts on extracted tracks, finding a
// drive's read offset from a checksum the database holds, and the CUETools database's TOC id against
// ids other tools printed for known discs (with the SHA-1 under it against the standard's examples),
// its answers and its disc CRC against one the database served.
#include "disc/AccurateRip.h"
#include "disc/Checksums.h"
#include "disc/Ctdb.h"
#include "support/Hex.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

namespace tolvane {
namespace {

const ids::AccurateRipId Two{2, 0x0000f21c, 0x00027ef8, 0x05021002};

std::vector<std::uint8_t> Recorded(const ids::AccurateRipId& id)
{
    return test::ReadBytes(test::TestDataPath("whipper/" + id.FileName()));
}

TEST(AccurateRip, DecodesRecordedResponses)
{
    const auto two = accuraterip::Decode(Recorded(Two), Two);
    ASSERT_EQ(two.error, "");
    ASSERT_EQ(two.pressings.size(), 2u);
    // whipper's test_common_accurip.py reads the same file so.
    const struct {
        std::size_t pressing, track;
        unsigned confidence;
        std::uint32_t crc, frame450;
    } listed[] = {{0, 0, 12, 0x284fc705, 0x3b97f8a4}, {0, 1, 20, 0x9cc1f32e, 0xdc5500de},
                  {1, 0, 7, 0xdc77f9ab, 0}, {1, 1, 7, 0xdd97d2c3, 0}};
    for (const auto& l : listed) {
        const auto& e = two.pressings[l.pressing].tracks[l.track];
        EXPECT_EQ(std::make_tuple(unsigned{e.confidence}, e.crc, e.frame450), std::make_tuple(l.confidence, l.crc, l.frame450));
    }

    const ids::AccurateRipId twenty{20, 0x002e5023, 0x029d8e49, 0x040eaa14};
    const auto one = accuraterip::Decode(Recorded(twenty), twenty);
    ASSERT_EQ(one.error, "");
    ASSERT_EQ(one.pressings.size(), 1u);
    EXPECT_EQ(one.pressings[0].tracks.size(), 20u);
}

TEST(AccurateRip, BadResponsesAreErrorsNeverMatches)
{
    const auto good = Recorded(Two);
    const std::string page = "<html><body><h1>404 Not Found</h1></body></html>\n";
    const struct {
        const char* name;
        std::vector<std::uint8_t> body;
        ids::AccurateRipId id;
        const char* error;
    } cases[] = {
        {"empty", {}, Two, "the response is empty"},
        {"truncated", {good.begin(), good.end() - 1}, Two, "the response is truncated or not an AccurateRip response"},
        {"header only", {good.begin(), good.begin() + 12}, Two,
         "the response is truncated or not an AccurateRip response"},
        {"error page", {page.begin(), page.end()}, Two, "the response is truncated or not an AccurateRip response"},
        {"another disc", good, {2, 0x0000f21c, 0x00027ef9, 0x05021002}, "the response is not for this disc"},
        {"another track count", good, {3, 0x0000f21c, 0x00027ef8, 0x05021002}, "the response is not for this disc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = accuraterip::Decode(c.body, c.id);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(r.pressings.empty());
        EXPECT_EQ(accuraterip::Check(r, 0, 0x284fc705, 0x284fc705).outcome, accuraterip::Outcome::NotPresent);
    }
}

TEST(AccurateRip, VerdictsOnTracks)
{
    const auto r = accuraterip::Decode(Recorded(Two), Two);
    const struct {
        std::size_t track;
        std::uint32_t v1;
        std::uint32_t v2;
        const char* text;
    } cases[] = {
        {0, 0x284fc705, 0x11111111, "accurately ripped (confidence 12) [v1]"},
        {0, 0x22222222, 0xdc77f9ab, "accurately ripped (confidence 7) [v2]"},
        // Both sums found: the more confident submission is named.
        {0, 0xdc77f9ab, 0x284fc705, "accurately ripped (confidence 12) [v2]"},
        {1, 0x9cc1f32e, 0xdd97d2c3, "accurately ripped (confidence 20) [v1]"},
        {1, 0x284fc705, 0x33333333, "mismatch"}, // another track's sum
        {2, 0x284fc705, 0x284fc705, "not present in database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(accuraterip::Text(accuraterip::Check(r, c.track, c.v1, c.v2)), c.text);
    }
    // A pressing whose submissions all have confidence 0 lists nothing.
    auto zero = r;
    for (auto& p : zero.pressings)
        p.tracks[0].confidence = 0;
    EXPECT_EQ(accuraterip::Check(zero, 0, 0x284fc705, 0).outcome, accuraterip::Outcome::NotPresent);
}

TEST(AccurateRip, FindsTheReadOffsetFromAKnownChecksum)
{
    // Noise for a middle track of 30 sectors and a first track of 12, with a margin of 1,200 samples
    // of neighbouring audio, read by drives whose corrections are +6, +667, -1164 and 0.
    constexpr std::size_t Margin = 1200;
    std::mt19937 noise(7);
    for (const bool first : {false, true}) {
        const std::size_t samples = (first ? 12 : 30) * sums::SamplesPerSector;
        std::vector<std::uint32_t> disc(samples + 4 * Margin);
        for (auto& s : disc)
            s = static_cast<std::uint32_t>(noise());
        const std::size_t start = 2 * Margin; // the track's first sample on the disc
        sums::AccurateRipChecksum truth(samples, first, false);
        truth.Add(ConstBytes(reinterpret_cast<const std::uint8_t*>(disc.data() + start), samples * 4));
        const std::uint32_t known[] = {0x12345678, truth.V1()};
        for (const int correction : {6, 667, -1164, 0}) {
            SCOPED_TRACE(std::to_string(correction) + (first ? " first track" : ""));
            // A drive needing a correction of +c delivers the sample c places before the one asked.
            const std::size_t readFrom = start - static_cast<std::size_t>(correction) - Margin;
            const std::span<const std::uint32_t> read(disc.data() + readFrom, samples + 2 * Margin);
            EXPECT_EQ(sums::FindOffsets(read, Margin, first, false, known), std::vector<int>{correction});
        }
    }
}

std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, 20>& digest)
{
    return {digest.begin(), digest.end()};
}

TEST(Sha1, StandardExamplesInAnyPieces)
{
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // 56 bytes: the length no longer fits the block, so the padding takes a second one.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 20));
        const ConstBytes bytes(reinterpret_cast<const std::uint8_t*>(c.message.data()), c.message.size());
        sums::Sha1 whole;
        whole.Add(bytes);
        EXPECT_EQ(Bytes(whole.Digest()), test::Hex(c.digest));
        sums::Sha1 pieces;
        for (std::size_t at = 0; at < bytes.size(); at += 37) {
            pieces.Add(bytes.subspan(at, std::min<std::size_t>(37, bytes.size() - at)));
        }
        EXPECT_EQ(Bytes(pieces.Digest()), test::Hex(c.digest));
    }
}

TEST(CtdbTocId, EqualsTheIdsPeersPrinted)
{
    const struct {
        const char* source;
        ids::TocLayout toc;
        const char* id;
    } cases[] = {
        // The cdtoc crate's documented example, MusicBrainz TOC 4+96+2D2B+6256+B327+D84A.
        {"cdtoc", {{{1, 0}, {2, 11413}, {3, 25024}, {4, 45713}}, 55220}, "VukMWWItblELRM.CEFpXxw0FlME-"},
        // A game CD (data track 1, two audio tracks) as published with its EAC track table,
        // US and German pressings: the data track before the audio is not counted.
        {"game US", {{{1, 0, false}, {2, 266445}, {3, 280839}}, 294795}, "hUJiDDh7s2IYPP1GpLfGVYpIWxE-"},
        {"game DE", {{{1, 0, false}, {2, 282656}, {3, 296612}}, 311156}, "vPmoaaMWAdaLNkVSMLqK2HZxmaE-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(ids::CtdbTocId(c.toc), c.id);
    }
}

// The database's answer for a four-track disc as recorded in python-cuetoolsdb's API notes
// (api.org, db.cue.tools, May 2022).
const char* const CtdbAnswer =
    "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">\n"
    "  <entry confidence=\"8\" crc32=\"5457b143\" hasparity=\"http://p.cuetools.net/3117474\" id=\"3117474\" "
    "npar=\"8\" stride=\"5880\" syndrome=\"tSkrv39Oah9FufT3Z+uMHQ==\" toc=\"0:16032:32072:47282:62810\" "
    "trackcrcs=\"97217ee6 dc8a2af2 338369b1 2eac339c\" />\n</ctdb>\n";

TEST(Ctdb, TheRecordedAnswerItsDiscCrcAndVerdicts)
{
    const ids::TocLayout toc{{{1, 0}, {2, 16032}, {3, 32072}, {4, 47282}}, 62810};
    EXPECT_EQ(ctdb::TocText(toc), "0:16032:32072:47282:62810");
    const ctdb::Response r = ctdb::Decode(CtdbAnswer);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].confidence, 8u);
    EXPECT_EQ(r.entries[0].crc, 0x5457b143u);
    const std::vector<std::uint32_t> tracks{0x97217ee6, 0xdc8a2af2, 0x338369b1, 0x2eac339c};
    ASSERT_EQ(r.entries[0].tracks, tracks);

    // The disc CRC the database holds follows from its track CRCs only if each track's counted
    // range (head and tail left out) is the one the database counts.
    std::vector<sums::TrackChecksums::Sums> sums;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::int32_t end = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].lba : toc.leadOut;
        auto s = sums::TrackChecksums(std::uint64_t(end - toc.tracks[i].lba) * 588, i == 0, i + 1 == tracks.size(),
                                      ctdb::AudioSamples(toc))
                     .Result();
        s.ctdb = tracks[i];
        sums.push_back(s);
    }
    EXPECT_EQ(sums::CtdbDiscCrc(sums), 0x5457b143u);
    EXPECT_EQ(ctdb::Text(ctdb::CheckDisc(r, 0x5457b143)), "accurately ripped (confidence 8 of 8)");
    EXPECT_EQ(ctdb::Text(ctdb::CheckTrack(r, 1, 0xdc8a2af2)), "accurately ripped (confidence 8 of 8)");
    EXPECT_EQ(ctdb::Text(ctdb::CheckTrack(r, 2, 0xdc8a2af2)), "mismatch (0 of 8)");
    EXPECT_EQ(ctdb::Text(ctdb::CheckTrack(r, 4, 0)), "not present in database");

    // An Enhanced CD: the data track is asked for with a '-', the audio's tail ends before it.
    const ids::TocLayout enhanced{{{1, 0}, {2, 20000}, {3, 50000, false}}, 60000};
    EXPECT_EQ(ctdb::TocText(enhanced), "0:20000:-50000:60000");
    EXPECT_EQ(ctdb::AudioSamples(enhanced), std::uint64_t{50000 - 11400} * 588);

    const struct {
        const char* name;
        std::string xml;
        const char* error;
    } bad[] = {
        {"unknown disc", "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"/>", ""},
        {"error page", "<html><body>502 Bad Gateway</body></html>", "the answer is not a CUETools database answer"},
        {"truncated", std::string(CtdbAnswer).substr(0, 150), "the answer is truncated"},
        {"bad CRC", std::string(CtdbAnswer).replace(std::string(CtdbAnswer).find("5457b143"), 8, "5457z143"),
         "the answer lists an entry that does not read"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        const ctdb::Response b = ctdb::Decode(c.xml);
        EXPECT_EQ(b.error, c.error);
        EXPECT_TRUE(b.entries.empty());
        EXPECT_FALSE(ctdb::CheckDisc(b, 0x5457b143).present);
    }
}

} // namespace
} // namespace tolvane
