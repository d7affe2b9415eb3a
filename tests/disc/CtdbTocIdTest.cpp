// The CUETools database's TOC id against ids other tools printed for known discs, and the SHA-1
// under it against the standard's own examples.
#include "disc/Checksums.h"
#include "disc/DiscIds.h"
#include "support/Hex.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

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
    EXPECT_EQ(ids::CtdbTocId({{{1, 0, false}}, 302}), "");
}

} // namespace
} // namespace tolvane
