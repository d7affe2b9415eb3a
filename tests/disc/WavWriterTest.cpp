// The WAV writer on its own: the 44-byte header byte by byte, the provisional
// data size and its correction when the file is completed, and the sample bytes
// in the order they were handed over, across the writer's own buffer.
#include "disc/WavWriter.h"
#include "support/Hex.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using test::Hex;

constexpr std::size_t Sector = WavWriter::SectorSize;

enum class Ending : std::uint8_t { Complete, Abandon, Destroy };

struct HeaderCase {
    const char* name;
    std::uint32_t provisional; // data size given to StartData
    std::size_t bytes;         // sample bytes written
    std::size_t chunk;         // bytes per Write call
    Ending ending;
    std::string header; // the 44 bytes the file starts with afterwards
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

// The header of a CD audio WAV file with its two size fields (little-endian hex) filled in.
std::string HeaderHex(const char* riffSize, const char* dataSize)
{
    std::string h;
    h += "52 49 46 46 ";  //  0 "RIFF"
    h += riffSize;        //  4 file length - 8
    h += " 57 41 56 45";  //  8 "WAVE"
    h += " 66 6D 74 20";  // 12 "fmt "
    h += " 10 00 00 00";  // 16 format chunk size 16
    h += " 01 00";        // 20 PCM
    h += " 02 00";        // 22 2 channels
    h += " 44 AC 00 00";  // 24 44,100 samples per second
    h += " 10 B1 02 00";  // 28 176,400 bytes per second
    h += " 04 00";        // 32 block align 4
    h += " 10 00";        // 34 16 bits per sample
    h += " 64 61 74 61 "; // 36 "data"
    h += dataSize;        // 40 data size
    return h;
}

// Sample bytes that differ from sector to sector and within each sector.
std::uint8_t SampleByte(std::size_t i)
{
    return static_cast<std::uint8_t>(i * 7 + i / Sector);
}

class WavWriterHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(WavWriterHeader, HoldsTheSizesOfWhatWasWritten)
{
    const HeaderCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.File("out.wav");
    std::vector<std::uint8_t> samples(c.bytes);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = SampleByte(i);
    }
    {
        WavWriter wav;
        ASSERT_TRUE(wav.Open(path));
        ASSERT_TRUE(wav.StartRiff() && wav.StartFormat() && wav.StartData(c.provisional));
        for (std::size_t at = 0; at < samples.size(); at += c.chunk) {
            const std::size_t n = std::min(c.chunk, samples.size() - at);
            ASSERT_TRUE(wav.Write(std::span<const std::uint8_t>(samples).subspan(at, n)));
        }
        if (c.ending == Ending::Complete) {
            EXPECT_TRUE(wav.Complete());
            EXPECT_FALSE(wav.IsOpen());
            EXPECT_EQ(wav.BytesOnDisk(), c.bytes);
        } else if (c.ending == Ending::Abandon) {
            wav.Abandon();
            EXPECT_FALSE(wav.IsOpen());
        }
    }
    const auto file = test::ReadBytes(path);
    const auto header = Hex(c.header);
    ASSERT_EQ(header.size(), WavWriter::HeaderSize);
    ASSERT_GE(file.size(), header.size());
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 44), header);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 44, file.end()), samples);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavWriterHeader,
    ::testing::Values(
        // Three sectors announced (7,056 = 0x1B90), file closed without completing: the
        // provisional sizes stay (RIFF 0 until completed), the samples handed over are in it.
        HeaderCase{"ProvisionalWhenAbandoned", 7056, 1000, Sector, Ending::Abandon,
                   HeaderHex("00 00 00 00", "90 1B 00 00")},
        HeaderCase{"ProvisionalWhenDestroyed", 7056, 1000, Sector, Ending::Destroy,
                   HeaderHex("00 00 00 00", "90 1B 00 00")},
        // Fewer sectors than announced (a cancel): 4,704 = 0x1260, RIFF 0x1284.
        HeaderCase{"CorrectedDown", 7056, 2 * Sector, Sector, Ending::Complete,
                   HeaderHex("84 12 00 00", "60 12 00 00")},
        // More than announced: 2,352 = 0x0930, RIFF 0x0954.
        HeaderCase{"CorrectedUp", 0, Sector, Sector, Ending::Complete,
                   HeaderHex("54 09 00 00", "30 09 00 00")},
        HeaderCase{"NothingWritten", 7056, 0, Sector, Ending::Complete,
                   HeaderHex("24 00 00 00", "00 00 00 00")},
        // 200 sectors (470,400 = 0x072D80, RIFF 0x072DA4) fill the writer's buffer more than once;
        // handed over as whole sectors and as pieces that cross sector and buffer boundaries.
        HeaderCase{"BeyondTheBuffer", 200 * Sector, 200 * Sector, Sector, Ending::Complete,
                   HeaderHex("A4 2D 07 00", "80 2D 07 00")},
        HeaderCase{"BeyondTheBufferInOddPieces", 200 * Sector, 200 * Sector, 1000, Ending::Complete,
                   HeaderHex("A4 2D 07 00", "80 2D 07 00")},
        HeaderCase{"BeyondTheBufferInOneWrite", 0, 200 * Sector, 200 * Sector, Ending::Complete,
                   HeaderHex("A4 2D 07 00", "80 2D 07 00")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WavWriter, ReplacesALongerFile)
{
    test::TempDir dir;
    const std::string path = dir.Write("out.wav", std::string(100000, 'x'));
    WavWriter wav;
    ASSERT_TRUE(wav.Open(path));
    ASSERT_TRUE(wav.StartRiff() && wav.StartFormat() && wav.StartData(Sector));
    ASSERT_TRUE(wav.Write(std::vector<std::uint8_t>(Sector, 0x11)));
    ASSERT_TRUE(wav.Complete());
    const auto file = test::ReadBytes(path);
    ASSERT_EQ(file.size(), 44 + Sector);
    EXPECT_EQ(file.back(), 0x11);
}

TEST(WavWriter, RefusesWhatItCannotDo)
{
    test::TempDir dir;
    WavWriter wav;
    EXPECT_FALSE(wav.Open(dir.File("no-such-folder/out.wav")));
    EXPECT_FALSE(wav.IsOpen());
    EXPECT_FALSE(wav.Open(dir.Path())) << "a folder is no file";
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
    // Nothing is open: every later step fails instead of writing somewhere.
    EXPECT_FALSE(wav.StartRiff());
    EXPECT_FALSE(wav.StartData(0));
    EXPECT_FALSE(wav.Write(std::vector<std::uint8_t>(Sector, 0)));
    EXPECT_FALSE(wav.Complete());
}

} // namespace
} // namespace tolvane
