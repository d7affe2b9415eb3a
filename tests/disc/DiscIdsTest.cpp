// The databases' disc identifiers and the checksums of extracted audio, against values other
// tools computed: a ripper's published Enhanced and mixed-mode CDs, and whipper's own
// accuraterip-checksum program run on the same samples (the shared discs' ids: RealDiscsTest).
#include "disc/Checksums.h"
#include "disc/DiscIds.h"
#include "disc/WavWriter.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace tolvane {
namespace {

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
    const std::int32_t starts[] = {0,      66578,  76352,  85813,  93610,  103898, 115916, 124593, 134056, 142766,
                                   151702, 160570, 169275, 178581, 188309, 196561, 206204, 214695, 223536, 225596,
                                   226234, 232518, 239297, 239781, 244839, 254114, 259916, 261072, 261524};
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
}

// Runs whipper's accuraterip-checksum on a WAV file: its v1 or v2 value, or nothing.
std::optional<std::uint32_t> Oracle(const std::string& wav, int track, int tracks, bool v1)
{
    const std::string command = std::string("accuraterip-checksum ") + (v1 ? "--accuraterip-v1 " : "--accuraterip-v2 ") +
                                wav + " " + std::to_string(track) + " " + std::to_string(tracks) + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    unsigned value = 0;
    const bool read = std::fscanf(pipe, "%x", &value) == 1;
    return ::pclose(pipe) == 0 && read ? std::optional<std::uint32_t>(value) : std::nullopt;
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
    ASSERT_TRUE(wav.Open(path) && wav.StartRiff() && wav.StartFormat() && wav.StartData(0) && wav.Write(pcm) &&
                wav.Complete());
    for (const auto& [track, tracks] : {std::pair{1, 1}, {1, 3}, {2, 3}, {3, 3}}) {
        SCOPED_TRACE("track " + std::to_string(track) + " of " + std::to_string(tracks));
        sums::AccurateRipChecksum sum(pcm.size() / 4, track == 1, track == tracks);
        for (std::size_t at = 0; at < pcm.size(); at += 1001) // pieces that split samples
            sum.Add(ConstBytes(pcm).subspan(at, std::min<std::size_t>(1001, pcm.size() - at)));
        EXPECT_EQ(Oracle(path, track, tracks, true), sum.V1());
        EXPECT_EQ(Oracle(path, track, tracks, false), sum.V2());
    }
}

TEST(Checksums, Crc32OfTheStandardCheckAndOfPieces)
{
    const std::string check = "123456789";
    sums::Crc32 whole;
    whole.Add(ConstBytes(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()));
    EXPECT_EQ(whole.Value(), 0xCBF43926u);
    // Any split gives the same value as the bytes one by one.
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    sums::Crc32 fast;
    sums::Crc32 slow;
    fast.Add(ConstBytes(bytes).first(3));
    fast.Add(ConstBytes(bytes).subspan(3));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        slow.Add(ConstBytes(bytes).subspan(i, 1));
    EXPECT_EQ(fast.Value(), slow.Value());
    EXPECT_EQ(sums::Crc32().Value(), 0u);
}

} // namespace
} // namespace tolvane
