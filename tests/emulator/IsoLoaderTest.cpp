#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tolvane::emulator {
namespace {

using testing::ReadBlock;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

// libcdio's images (their volumes, block 16 on, are read through the whole stack in ReadFactsTest):
// one Mode 1 track over the whole image, a UDF-only one too, up to its last block.
TEST(IsoLoaderTest, OneMode1TrackOverTheWholeImage)
{
    for (const char* name : {"copying.iso", "copying-rr.iso", "joliet.iso", "test-udf1.iso", "udf102.iso"}) {
        SCOPED_TRACE(name);
        const std::string path = TestDataPath(std::string("libcdio/") + name);
        const LoadResult result = LoadImage(path);
        ASSERT_TRUE(result) << result.error;
        const Disc& disc = *result.disc;
        const auto image = ReadBytes(path);
        const auto blocks = static_cast<std::int32_t>(image.size() / 2048);
        ASSERT_GT(blocks, 16);
        testing::ExpectTracks(disc, {{1, 0, 0, blocks}});
        EXPECT_EQ(disc.tracks[0].mode, TrackMode::Mode1);
        EXPECT_EQ(disc.tracks[0].control, control::Data);
        EXPECT_EQ(disc.capacity, blocks);
        EXPECT_EQ(ReadBlock(disc, blocks - 1), std::vector<std::uint8_t>(image.end() - 2048, image.end()));
        EXPECT_TRUE(ReadBlock(disc, blocks).empty());
    }
}

// The loader looks only at the size: sparse images stand for large ones.
TEST(IsoLoaderTest, SizeDecidesTheMediaOrRejectsTheImage)
{
    const struct {
        std::uint64_t blocks;
        MediaKind media;
        std::uint8_t layers;
        std::uint64_t extraBytes = 0;
        const char* error = nullptr; // part of the message
    } cases[] = {
        {MaxCdBlocks, MediaKind::PressedCd, 1},
        {MaxCdBlocks + 1, MediaKind::DvdRom, 1},
        {DvdLayerBlocks, MediaKind::DvdRom, 1},
        {DvdLayerBlocks + 1, MediaKind::DvdRom, 2},
        {2 * DvdLayerBlocks, MediaKind::DvdRom, 2},
        {0, {}, 0, 0, "empty"},
        {0, {}, 0, 2047, "whole number"},
        {64, {}, 0, 1, "whole number"},
        {2 * DvdLayerBlocks + 1, {}, 0, 0, "dual-layer DVD"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blocks * 2048 + c.extraBytes);
        const std::string path = dir.File("a.iso");
        testing::SparseFile(path, c.blocks * 2048 + c.extraBytes);
        const LoadResult result = LoadIso(path);
        if (c.error != nullptr) {
            EXPECT_FALSE(result);
            EXPECT_EQ(result.error.rfind("a.iso: ", 0), 0u) << result.error;
            EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
            continue;
        }
        ASSERT_TRUE(result) << result.error;
        const auto blocks = static_cast<std::int32_t>(c.blocks);
        EXPECT_EQ(result.disc->media, c.media);
        EXPECT_EQ(result.disc->layers, c.layers);
        EXPECT_EQ(result.disc->capacity, blocks);
        testing::ExpectTracks(*result.disc, {{1, 0, 0, blocks}});
        EXPECT_EQ(ReadBlock(*result.disc, blocks - 1), std::vector<std::uint8_t>(2048, 0));
    }
    const LoadResult missing = LoadIso(dir.File("none.iso"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error.rfind("none.iso: ", 0), 0u) << missing.error;
}

} // namespace
} // namespace tolvane::emulator
