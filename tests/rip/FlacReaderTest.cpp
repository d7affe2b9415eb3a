// FLAC files read back as the bytes a rip wrote: in one pass with the MD5 check, and at any
// sample frame for the virtual drive; damaged and foreign files are refused with a reason.
#include "rip/output/FlacReader.h"
#include "rip/output/FlacWriter.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tolvane::rip {
namespace {

using test::ReadBytes;
using test::TempDir;

// Noise, so that a sample out of place changes the bytes.
std::vector<std::uint8_t> Noise(std::size_t bytes, std::uint32_t seed)
{
    std::vector<std::uint8_t> pcm(bytes);
    for (std::uint8_t& b : pcm) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return pcm;
}

std::string Encode(const TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& pcm)
{
    const std::string path = dir.File(name);
    FlacWriter writer;
    EXPECT_TRUE(writer.Open(path, {}, pcm.size())) << writer.Error();
    EXPECT_TRUE(writer.Write(pcm)) << writer.Error();
    EXPECT_TRUE(writer.Finish()) << writer.Error();
    return path;
}

TEST(FlacReaderTest, ReadsBackTheBytesWrittenInOrderAndAtAnyFrame)
{
    const TempDir dir;
    // Ten sectors and a bit: the last frame of the encoder is a short one.
    const auto pcm = Noise(10 * 2352 * 27 + 588 * 4 + 12, 7);
    const std::string path = Encode(dir, "noise.flac", pcm);

    FlacReader reader;
    ASSERT_TRUE(reader.Open(path)) << reader.Error();
    EXPECT_EQ(reader.DataBytes(), pcm.size());
    // Out of order, across the encoder's 4,096-frame blocks, backwards, and up to the very end.
    const std::vector<std::pair<std::uint64_t, std::size_t>> reads{
        {0, 2352}, {588, 2352 * 27}, {4000, 4096 * 4 + 400}, {100, 8}, {pcm.size() / 4 - 3, 12}, {0, 4}};
    for (const auto& [frame, bytes] : reads) {
        SCOPED_TRACE(frame);
        std::vector<std::uint8_t> out(bytes);
        ASSERT_TRUE(reader.ReadAt(frame, out)) << reader.Error();
        EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin() + static_cast<std::ptrdiff_t>(frame * 4)));
    }
    std::vector<std::uint8_t> beyond(8);
    EXPECT_FALSE(reader.ReadAt(pcm.size() / 4 - 1, beyond));

    // In one pass from the start, also after the reads above moved the decoder about.
    std::vector<std::uint8_t> all;
    ASSERT_TRUE(reader.Read([&all](std::span<const std::uint8_t> piece) { all.insert(all.end(), piece.begin(), piece.end()); }))
        << reader.Error();
    EXPECT_EQ(all, pcm);
}

TEST(FlacReaderTest, DamagedAndForeignFilesAreRefused)
{
    const TempDir dir;
    const auto pcm = Noise(2352 * 200, 11);
    const std::string good = Encode(dir, "good.flac", pcm);
    const auto bytes = ReadBytes(good);

    // One bit of the audio flipped near the end: the frame's CRC or, failing that, the MD5 says so.
    auto flipped = bytes;
    flipped[flipped.size() - 600] ^= 0x10;
    const std::string damaged = dir.Write("damaged.flac", flipped);
    // Cut in the middle: the stream information still promises all of it.
    const std::string cut = dir.Write("cut.flac", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)));
    for (const std::string& path : {damaged, cut}) {
        SCOPED_TRACE(path);
        FlacReader reader;
        ASSERT_TRUE(reader.Open(path)) << reader.Error();
        EXPECT_FALSE(reader.Read([](std::span<const std::uint8_t>) {}));
        EXPECT_NE(reader.Error().find(path + ": "), std::string::npos) << reader.Error();
    }

    const struct {
        std::string path;
        const char* says;
    } refused[] = {
        {dir.File("missing.flac"), "No such file or directory"},
        {dir.Write("wave.flac", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(64, '\0')), "not a FLAC file"},
        {dir.Write("empty.flac", std::string()), "not a FLAC file"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.path);
        FlacReader reader;
        EXPECT_FALSE(reader.Open(r.path));
        EXPECT_NE(reader.Error().find(r.says), std::string::npos) << reader.Error();
    }
}

} // namespace
} // namespace tolvane::rip
