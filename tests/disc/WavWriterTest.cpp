// The WAV writer: its header byte by byte, its sizes, and samples in order across its buffer.
#include "disc/WavWriter.h"
#include "support/Hex.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tolvane {
namespace {

constexpr std::size_t Sector = WavWriter::SectorSize;

TEST(WavWriter, HeaderHoldsTheSizesOfWhatWasWritten)
{
    // "RIFF", its size, "WAVE", "fmt ", 16, PCM, 2 channels, 44,100 Hz, 176,400 bytes/s,
    // block align 4, 16 bits, "data", its size.
    const auto header = [](const char* riff, const char* data) {
        return test::Hex(std::string("52 49 46 46 ") + riff +
                         " 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 02 00" +
                         " 44 AC 00 00 10 B1 02 00 04 00 10 00 64 61 74 61 " + data);
    };
    const struct {
        const char* name;
        std::uint32_t provisional; // data size given to StartData
        std::size_t bytes, chunk;  // sample bytes written, bytes per Write call
        bool complete;             // or abandoned
        const char *riff, *data;   // the size fields afterwards
    } cases[] = {
        // Three sectors announced (7,056 = 0x1B90): the provisional sizes stay (RIFF 0 until completed).
        {"abandoned", 7056, 1000, Sector, false, "00 00 00 00", "90 1B 00 00"},
        // Fewer sectors than announced (a cancel).
        {"corrected down", 7056, 2 * Sector, Sector, true, "84 12 00 00", "60 12 00 00"},
        // 200 sectors (470,400) fill the buffer more than once, in pieces that cross sector and
        // buffer boundaries.
        {"in odd pieces", 200 * Sector, 200 * Sector, 1000, true, "A4 2D 07 00", "80 2D 07 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::vector<std::uint8_t> samples(c.bytes);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::uint8_t>(i * 7 + i / Sector); // differs within and across sectors
        }
        WavWriter wav;
        ASSERT_TRUE(wav.Open(dir.File("out.wav")));
        ASSERT_TRUE(wav.StartRiff() && wav.StartFormat() && wav.StartData(c.provisional));
        for (std::size_t at = 0; at < samples.size(); at += c.chunk) {
            ASSERT_TRUE(wav.Write(
                std::span<const std::uint8_t>(samples).subspan(at, std::min(c.chunk, samples.size() - at))));
        }
        if (c.complete) {
            EXPECT_TRUE(wav.Complete());
            EXPECT_EQ(wav.BytesOnDisk(), c.bytes);
        } else {
            wav.Abandon();
        }
        EXPECT_FALSE(wav.IsOpen());
        auto expected = header(c.riff, c.data);
        expected.insert(expected.end(), samples.begin(), samples.end());
        EXPECT_EQ(test::ReadBytes(dir.File("out.wav")), expected);
    }
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
