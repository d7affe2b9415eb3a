// The WAV writer: its header byte by byte, and samples in order across its buffer.
#include "disc/WavWriter.h"
#include "support/Hex.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tolvane {
namespace {

constexpr std::size_t Sector = WavWriter::SectorSize;

// The sizes of a copy cut short, and the provisional ones of an abandoned file: ExtractTest.
TEST(WavWriter, HeaderThenTheSamplesInOrderAcrossTheBuffer)
{
    // 200 sectors (470,400 bytes) fill the buffer more than once, in pieces that cross sector and
    // buffer boundaries.
    std::vector<std::uint8_t> samples(200 * Sector);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::uint8_t>(i * 7 + i / Sector); // differs within and across sectors
    }
    test::TempDir dir;
    WavWriter wav;
    ASSERT_TRUE(wav.Open(dir.File("out.wav")));
    ASSERT_TRUE(wav.StartRiff() && wav.StartFormat() && wav.StartData(0));
    for (std::size_t at = 0; at < samples.size(); at += 1000) {
        ASSERT_TRUE(wav.Write(std::span<const std::uint8_t>(samples).subspan(
            at, std::min<std::size_t>(1000, samples.size() - at))));
    }
    EXPECT_TRUE(wav.Complete());
    EXPECT_EQ(wav.BytesOnDisk(), samples.size());
    EXPECT_FALSE(wav.IsOpen());
    // "RIFF", its size, "WAVE", "fmt ", 16, PCM, 2 channels, 44,100 Hz, 176,400 bytes/s,
    // block align 4, 16 bits, "data", its size.
    auto expected = test::Hex("52 49 46 46 A4 2D 07 00 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 02 00"
                              " 44 AC 00 00 10 B1 02 00 04 00 10 00 64 61 74 61 80 2D 07 00");
    expected.insert(expected.end(), samples.begin(), samples.end());
    EXPECT_EQ(test::ReadBytes(dir.File("out.wav")), expected);
}

TEST(WavWriter, RefusesEveryStepWhenNoFileIsOpen)
{
    test::TempDir dir;
    WavWriter wav;
    EXPECT_FALSE(wav.Open(dir.File("no-such-folder/out.wav")));
    EXPECT_FALSE(wav.IsOpen());
    EXPECT_FALSE(wav.Open(dir.Path())) << "a folder is no file";
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
    // Every later step fails instead of writing somewhere.
    EXPECT_FALSE(wav.StartRiff());
    EXPECT_FALSE(wav.StartData(0));
    EXPECT_FALSE(wav.Write(std::vector<std::uint8_t>(Sector, 0)));
    EXPECT_FALSE(wav.Complete());
}

} // namespace
} // namespace tolvane
