#include "emulator/ImageLoader.h"
#include "emulator/LoaderTestUtil.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane::emulator {
namespace {

using testing::ReadBlock;
using tolvane::test::ReadBytes;
using tolvane::test::TempDir;
using tolvane::test::TestDataPath;

struct IsoCase {
    const char* file;
    std::int32_t blocks;  // the file's size / 2048
    const char* volumeId; // at byte 40 of block 16, or empty when the image has no ISO 9660 volume
};

class IsoFixtureTest : public ::testing::TestWithParam<IsoCase> {};

TEST_P(IsoFixtureTest, OneMode1TrackOverTheWholeImage)
{
    const IsoCase& c = GetParam();
    const std::string path = TestDataPath(std::string("libcdio/") + c.file);
    const LoadResult result = LoadImage(path);
    ASSERT_TRUE(result) << result.error;
    const Disc& disc = *result.disc;
    EXPECT_EQ(disc.name, c.file);
    EXPECT_EQ(disc.media, MediaKind::PressedCd);
    EXPECT_EQ(disc.status, DiscStatus::Complete);
    testing::ExpectTracks(disc, {{1, 0, 0, c.blocks}});
    EXPECT_EQ(disc.tracks[0].mode, TrackMode::Mode1);
    EXPECT_EQ(disc.tracks[0].control, control::Data);
    ASSERT_EQ(disc.sessions.size(), 1u);
    EXPECT_EQ(disc.LeadOut(), c.blocks);
    EXPECT_EQ(disc.capacity, c.blocks);

    const auto image = ReadBytes(path);
    ASSERT_EQ(image.size(), static_cast<std::size_t>(c.blocks) * 2048);
    const auto block16 = ReadBlock(disc, 16);
    ASSERT_EQ(block16.size(), 2048u);
    EXPECT_TRUE(std::equal(block16.begin(), block16.end(), image.begin() + 16 * 2048));
    EXPECT_EQ(ReadBlock(disc, c.blocks - 1), std::vector<std::uint8_t>(image.end() - 2048, image.end()));
    EXPECT_TRUE(ReadBlock(disc, c.blocks).empty());
    if (*c.volumeId != '\0') {
        EXPECT_EQ(std::string(block16.begin() + 1, block16.begin() + 6), "CD001");
        EXPECT_EQ(std::string(block16.begin() + 40, block16.begin() + 40 + std::string(c.volumeId).size()),
                  c.volumeId);
    }
}

// Sizes and volume identifiers: SOURCES.md section 9 (iso-info, isoinfo and xorriso agree).
INSTANTIATE_TEST_SUITE_P(Libcdio, IsoFixtureTest,
                         ::testing::Values(IsoCase{"copying.iso", 64, "CDROM"},
                                           IsoCase{"copying-rr.iso", 186, "Rock Ridge Copy test"},
                                           IsoCase{"joliet.iso", 198, "K3b data project"},
                                           IsoCase{"test-udf1.iso", 445, "CDROM"},
                                           // UDF only: no ISO 9660 descriptor, still a data disc.
                                           IsoCase{"udf102.iso", 608, ""}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             std::ranges::replace_if(
                                 name, [](char ch) { return ch == '.' || ch == '-'; }, '_');
                             return name;
                         });

// A sparse image of `blocks` blocks: the loader looks only at its size.
std::string SparseImage(const TempDir& dir, const std::string& name, std::uint64_t bytes)
{
    const std::string path = dir.Write(name, std::string());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(bytes)), 0);
    ::close(fd);
    return path;
}

TEST(IsoLoaderTest, ImagesLongerThanACdAreDvds)
{
    struct Case {
        std::int32_t blocks;
        MediaKind media;
        std::uint8_t layers;
    };
    const Case cases[] = {
        {MaxCdBlocks, MediaKind::PressedCd, 1},     {MaxCdBlocks + 1, MediaKind::DvdRom, 1},
        {DvdLayerBlocks, MediaKind::DvdRom, 1},     {DvdLayerBlocks + 1, MediaKind::DvdRom, 2},
        {2 * DvdLayerBlocks, MediaKind::DvdRom, 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = SparseImage(dir, "big.iso", static_cast<std::uint64_t>(c.blocks) * 2048);
        const LoadResult result = LoadIso(path);
        ASSERT_TRUE(result) << result.error;
        EXPECT_EQ(result.disc->media, c.media) << c.blocks;
        EXPECT_EQ(result.disc->layers, c.layers) << c.blocks;
        EXPECT_EQ(result.disc->capacity, c.blocks);
        EXPECT_EQ(result.disc->LeadOut(), c.blocks);
        ASSERT_EQ(result.disc->sessions.size(), 1u);
        testing::ExpectTracks(*result.disc, {{1, 0, 0, c.blocks}});
        EXPECT_EQ(ReadBlock(*result.disc, c.blocks - 1), std::vector<std::uint8_t>(2048, 0));
    }
}

TEST(IsoLoaderTest, SizesThatAreNoImageAreRejected)
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "empty"},
        {2047, "whole number"},
        {64 * 2048 + 1, "whole number"},
        {(2 * static_cast<std::uint64_t>(DvdLayerBlocks) + 1) * 2048, "dual-layer DVD"},
    };
    TempDir dir;
    for (const auto& [bytes, why] : cases) {
        const LoadResult result = LoadIso(SparseImage(dir, "odd.iso", bytes));
        EXPECT_FALSE(result) << bytes;
        EXPECT_EQ(result.error.rfind("odd.iso: ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(why), std::string::npos) << result.error;
    }
    const LoadResult missing = LoadIso(dir.File("none.iso"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error.rfind("none.iso: ", 0), 0u) << missing.error;
}

} // namespace
} // namespace tolvane::emulator
