// The shared discs read as cd-info, cdrdao and whipper read them and identified as libdiscid and
// whipper do (expected-facts.json); a ripper's published Enhanced and mixed-mode CD ids; audio
// checksums against whipper's own accuraterip-checksum program run on the same samples.
#include "disc/Checksums.h"
#include "disc/DiscFacts.h"
#include "disc/DiscIds.h"
#include "disc/SampleScan.h"
#include "disc/WavWriter.h"

#include "support/TestData.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace tolvane {
namespace {

using nlohmann::json;

// A number other tools print as all zeros is no number (the drive's way of saying none).
std::string Present(const json& value)
{
    const auto s = value.is_null() ? std::string() : value.get<std::string>();
    return std::ranges::all_of(s, [](char c) { return c == '0'; }) ? std::string() : s;
}

// The MusicBrainz id and lookup URL and the AccurateRip id of the disc's table of contents;
// counts the discs each was checked for.
void ExpectIds(const json& disc, int& musicBrainz, int& accurateRip)
{
    ids::TocLayout toc;
    for (const auto& t : disc["tracks"]) {
        toc.tracks.push_back(
            {t["no"].get<std::uint8_t>(), t["start_lba"].get<std::int32_t>(), t["mode"] == "AUDIO"});
    }
    toc.leadOut = disc["leadout_lba"].get<std::int32_t>();
    const json& computed = disc["computed"];
    if (computed["musicbrainz_id"].is_string()) {
        EXPECT_EQ(ids::MusicBrainzIdOf(toc), computed["musicbrainz_id"]);
        std::string tocText = computed["musicbrainz_toc"];
        std::replace(tocText.begin(), tocText.end(), ' ', '+');
        EXPECT_NE(ids::MusicBrainzLookupUrl(toc).find("&toc=" + tocText), std::string::npos)
            << ids::MusicBrainzLookupUrl(toc);
        ++musicBrainz;
    }
    // Where tracks start at 1 and all are audio a track's number is also its place among the
    // audio tracks; the file's values elsewhere weight by number, which ripper logs contradict
    // (see MixedModeAndEnhancedCds below).
    const bool plain = disc["first_track"] == 1 &&
                       std::ranges::all_of(toc.tracks, [](const ids::TocTrack& t) { return t.audio; });
    if (computed["accuraterip_id"].is_string() && (plain || disc["peer_golden"].contains("ar"))) {
        const std::string cddb = computed["cddb_id_all_tracks"];
        const auto id = ids::AccurateRipIdOf(toc, static_cast<std::uint32_t>(std::stoul(cddb, nullptr, 16)));
        ASSERT_TRUE(id);
        char count[8];
        std::snprintf(count, sizeof count, "%03zu-", toc.tracks.size());
        EXPECT_EQ(id->Text(), count + computed["accuraterip_id"].get<std::string>());
        ++accurateRip;
    }
}

TEST(RealDiscs, ReadThroughTheVirtualDriveAndIdentifiedAsOtherToolsDo)
{
    std::ifstream in(test::TestDataPath("generated/expected-facts.json"));
    ASSERT_TRUE(in) << "expected-facts.json not found: set TOLVANE_TESTDATA to the shared test data";
    int checked = 0;
    int musicBrainz = 0;
    int accurateRip = 0;
    for (const json& disc : json::parse(in)) {
        SCOPED_TRACE(disc["name"].get<std::string>());
        ExpectIds(disc, musicBrainz, accurateRip);
        // The image: the cue sheet named, else the toc of that name; entries without one are not read.
        std::string image = disc["name"];
        image += image.ends_with(".cue") ? "" : ".toc";
        if (!std::filesystem::exists(test::TestDataPath(image))) {
            continue;
        }
        test::VirtualRig rig(test::LoadTestImage(image));
        OpticalDisk& d = *rig.disc;
        ASSERT_TRUE(d.Check());
        ASSERT_TRUE(d.Read()) << d.ErrorMessage();
        EXPECT_EQ(d.Count(), disc["last_track"].get<int>());
        EXPECT_EQ(d.CD()->UPC(), Present(disc["mcn"]));
        std::string cddb = d.CD()->CDDB();
        std::ranges::transform(cddb, cddb.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_EQ(cddb, disc["computed"]["cddb_id_all_tracks"].get<std::string>());
        // The notes name cdrdao's toc type; only CD_ROM_XA is a format of its own.
        const bool xa = disc["notes"].get<std::string>().find("CD_ROM_XA") != std::string::npos;
        EXPECT_EQ(d.CD()->DiscFormat(), xa ? "CD-ROM XA" : "CD-DA/CD-ROM");

        const json& tracks = disc["tracks"];
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const json& t = tracks[i];
            const int no = t["no"];
            SCOPED_TRACE("track " + std::to_string(no));
            const auto track = d.Track(static_cast<std::int16_t>(no));
            ASSERT_TRUE(track);
            const std::int32_t start = t["start_lba"];
            const std::int32_t end =
                (i + 1 < tracks.size() ? tracks[i + 1]["start_lba"] : disc["leadout_lba"]);
            const std::string mode = t["mode"] == "AUDIO"                          ? "Audio"
                                     : t["mode"] == "MODE1" || t["mode"] == "DATA" ? "Mode 1"
                                                                                   : "Mode 2";
            EXPECT_EQ(track->LBA(), start);
            EXPECT_EQ(track->LogicalBlocks(), end - start);
            EXPECT_EQ(track->Mode(), mode);
            const std::int32_t f = start + 150;
            char msf[16];
            std::snprintf(msf, sizeof msf, "%02d:%02d:%02d", f / 4500, f / 75 % 60, f % 75);
            EXPECT_EQ(track->MSF(), msf);
            EXPECT_TRUE(track->RawSize().IsWhole());
            EXPECT_EQ(track->RawSize().Whole(), std::int64_t{end - start} * (mode == "Audio" ? 2352 : 2048));
            // Flags the peers did not print are null.
            if (t["copy_permitted"].is_boolean()) {
                EXPECT_EQ(track->DigitalCopy(), t["copy_permitted"].get<bool>());
            }
            if (t["pre_emphasis"].is_boolean()) {
                EXPECT_EQ(track->Preemphasis2(), t["pre_emphasis"].get<bool>());
            }
            EXPECT_EQ(track->ISRC(), Present(t["isrc"]));
        }
        ++checked;
    }
    EXPECT_EQ(checked, 20) << "every fixture with an image";
    EXPECT_EQ(musicBrainz, 18);
    EXPECT_EQ(accurateRip, 16);
}

TEST(DiscIds, MixedModeAndEnhancedCds)
{
    // From arcctgx/ARver doc/data_track.md: ids dBpoweramp and EAC computed for real discs.
    // "Liquid" (Recoil): ten audio tracks, then a data session at 281585, lead-out 333651.
    ids::TocLayout liquid;
    for (const std::int32_t lba : {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305})
        liquid.tracks.push_back({static_cast<std::uint8_t>(liquid.tracks.size() + 1), lba, true});
    liquid.tracks.push_back({11, 281585, false});
    liquid.leadOut = 333651;
    EXPECT_EQ(ids::AudioEnd(liquid), 270185);
    EXPECT_EQ(ids::AccurateRipIdOf(liquid, 0x9e11600b)->Text(), "010-00164419-00b9f6e2-9e11600b");
    EXPECT_EQ(ids::MusicBrainzIdOf(liquid), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");

    // "Mortal Kombat Trilogy": a data track 1, then 28 audio tracks; the audio ones are weighted
    // by their place among themselves, and the data track's address counts nowhere.
    ids::TocLayout mk;
    const std::int32_t starts[] = {0,      66578,  76352,  85813,  93610,  103898, 115916, 124593,
                                   134056, 142766, 151702, 160570, 169275, 178581, 188309, 196561,
                                   206204, 214695, 223536, 225596, 226234, 232518, 239297, 239781,
                                   244839, 254114, 259916, 261072, 261524};
    for (const std::int32_t lba : starts)
        mk.tracks.push_back({static_cast<std::uint8_t>(mk.tracks.size() + 1), lba, !mk.tracks.empty()});
    mk.leadOut = 261826;
    const auto id = ids::AccurateRipIdOf(mk, 0xaf0da31d);
    EXPECT_EQ(id->Text(), "028-00517a54-05a845d2-af0da31d");
    EXPECT_EQ(id->UrlPath(), "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin");

    ids::TocLayout data{{{1, 0, false}}, 302};
    EXPECT_FALSE(ids::AccurateRipIdOf(data, 0x02000401));
    EXPECT_EQ(ids::MusicBrainzIdOf(data), "");
    EXPECT_EQ(ids::MusicBrainzLookupUrl(data), "");
    EXPECT_EQ(ids::CtdbTocId(data), "");
}

// Runs whipper's accuraterip-checksum on a WAV file: its v1 or v2 value, or nothing.
std::optional<std::uint32_t> Oracle(const std::string& wav, int track, int tracks, bool v1)
{
    const auto out = test::PeerOutput(std::string("accuraterip-checksum ") +
                                      (v1 ? "--accuraterip-v1 " : "--accuraterip-v2 ") + wav + " " +
                                      std::to_string(track) + " " + std::to_string(tracks));
    if (!out || out->empty())
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(*out, nullptr, 16));
}

TEST(Checksums, AccurateRipEqualsWhippersProgramAtEveryPlaceOnTheDisc)
{
    if (std::system("command -v accuraterip-checksum >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "accuraterip-checksum (Debian package whipper) is not installed";
    // 20 sectors of noise whose samples use all 32 bits, so v1's and v2's overflows are reached.
    std::vector<std::uint8_t> pcm(20 * 2352);
    std::mt19937 noise(20261207);
    for (auto& b : pcm)
        b = static_cast<std::uint8_t>(noise());
    test::TempDir dir;
    const std::string path = dir.File("t.wav");
    WavWriter wav;
    ASSERT_TRUE(wav.Open(path) && wav.StartRiff() && wav.StartFormat() && wav.StartData(0) &&
                wav.Write(pcm) && wav.Complete());
    for (const auto& [track, tracks] : {std::pair{1, 1}, {1, 3}, {2, 3}, {3, 3}}) {
        SCOPED_TRACE("track " + std::to_string(track) + " of " + std::to_string(tracks));
        sums::AccurateRipChecksum sum(pcm.size() / 4, track == 1, track == tracks);
        for (std::size_t at = 0; at < pcm.size(); at += 1001) // pieces that split samples
            sum.Add(ConstBytes(pcm).subspan(at, std::min<std::size_t>(1001, pcm.size() - at)));
        EXPECT_EQ(Oracle(path, track, tracks, true), sum.V1());
        EXPECT_EQ(Oracle(path, track, tracks, false), sum.V2());
    }
}

TEST(Checksums, TheVectorLoopsAnswerAsThePortableOnes)
{
    // Lengths around the vector widths, weights about to wrap past 2^32, the extreme samples, and
    // zero words at the first, a middle and the last place.
    std::vector<std::uint8_t> bytes(4 * 1000 + 3);
    std::mt19937 noise(11);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(noise() | 1); // no zero word yet
    bytes[2 * 37] = 0x00;
    bytes[2 * 37 + 1] = 0x80; // -32768 at word 37
    for (std::size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 1000}) {
        SCOPED_TRACE("n " + std::to_string(n));
        for (std::uint32_t weight : {1u, 0xFFFFFFF9u}) {
            const auto fast = sums::scan::WeightedSum(bytes.data() + 3, n, weight);
            const auto portable = sums::scan::portable::WeightedSum(bytes.data() + 3, n, weight);
            EXPECT_EQ(fast.low, portable.low);
            EXPECT_EQ(fast.high, portable.high);
        }
        const std::uint32_t peak = sums::scan::portable::Peak(bytes.data(), 2 * n);
        EXPECT_EQ(sums::scan::Peak(bytes.data(), 2 * n), n > 18 ? 32768u : peak);
        for (std::size_t zero : {std::size_t{0}, n / 2, n - 1}) {
            if (n == 0)
                break;
            std::vector<std::uint8_t> words(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(2 * n));
            EXPECT_FALSE(sums::scan::HasZeroWord(words.data(), n));
            words[2 * zero] = words[2 * zero + 1] = 0;
            EXPECT_TRUE(sums::scan::HasZeroWord(words.data(), n)) << "zero at " << zero;
            EXPECT_TRUE(sums::scan::portable::HasZeroWord(words.data(), n));
        }
    }
}

TEST(Checksums, Crc32OfTheStandardCheckPiecesAndCombinations)
{
    const std::string check = "123456789";
    const ConstBytes checkBytes(reinterpret_cast<const std::uint8_t*>(check.data()), check.size());
    sums::Crc32 whole;
    whole.Add(checkBytes);
    EXPECT_EQ(whole.Value(), 0xCBF43926u);
    EXPECT_EQ(sums::Crc32Portable(0, checkBytes), 0xCBF43926u);
    EXPECT_EQ(sums::Crc32().Value(), 0u);

    // Noise with runs of silence, in pieces that split samples: the fast CRC, the portable one and
    // the combination of two halves agree; the W/O NULL CRC is the CRC of the non-zero words alone.
    std::vector<std::uint8_t> pcm(31 * 2352);
    std::mt19937 noise(7);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = (i / 700) % 3 == 0 ? 0 : static_cast<std::uint8_t>(noise() % 4);
    pcm[1001] = 0x80; // the sample at 1000 becomes -32768, the peak, split between two pieces
    std::vector<std::uint8_t> nonZero;
    for (std::size_t i = 0; i < pcm.size(); i += 2)
        if (pcm[i] != 0 || pcm[i + 1] != 0)
            nonZero.insert(nonZero.end(), {pcm[i], pcm[i + 1]});
    sums::Crc32 pieces;
    sums::Crc32WithoutNulls withoutNulls;
    const std::size_t samples = pcm.size() / 4;
    sums::TrackChecksums first(samples, true, false, 0);
    sums::TrackChecksums last(samples, false, true, 32 * 588);
    sums::TrackChecksums only(samples, true, true, 31 * 588);
    for (std::size_t at = 0; at < pcm.size(); at += 1001) {
        const ConstBytes piece = ConstBytes(pcm).subspan(at, std::min<std::size_t>(1001, pcm.size() - at));
        pieces.Add(piece);
        withoutNulls.Add(piece);
        for (auto* t : {&first, &last, &only})
            t->Add(piece);
    }
    const std::uint32_t all = sums::Crc32Portable(0, pcm);
    EXPECT_EQ(pieces.Value(), all);
    EXPECT_EQ(sums::Crc32::Combine(sums::Crc32Portable(0, ConstBytes(pcm).first(1234)),
                                   sums::Crc32Portable(0, ConstBytes(pcm).subspan(1234)), pcm.size() - 1234),
              all);
    EXPECT_EQ(withoutNulls.Value(), sums::Crc32Portable(0, nonZero));

    // The database's CRC leaves out the first track's first ten sectors and the last track's last
    // ten, and of the last also what of the audio does not fill ten sectors (here two and one).
    const auto range = [&pcm](std::size_t from, std::size_t to) {
        return sums::Crc32Portable(0, ConstBytes(pcm).subspan(from, to - from));
    };
    const struct {
        const char* name;
        sums::TrackChecksums::Sums sums;
        std::size_t from, to;
    } cases[] = {{"first", first.Result(), 10 * 2352, pcm.size()},
                 {"last of 32 sectors", last.Result(), 0, pcm.size() - 12 * 2352},
                 {"only track", only.Result(), 10 * 2352, pcm.size() - 11 * 2352}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.sums.crc32, all);
        EXPECT_EQ(c.sums.withoutNulls, withoutNulls.Value());
        EXPECT_EQ(c.sums.ctdb, range(c.from, c.to));
        EXPECT_EQ(c.sums.ctdbBytes, c.to - c.from);
        EXPECT_EQ(c.sums.peak, 32768u);
    }
}

} // namespace
} // namespace tolvane
