// FLAC files checked by the reference tools: flac decodes them back to the very bytes written,
// metaflac lists their tags and seek table.
#include "rip/output/FlacWriter.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace tolvane::rip {
namespace {

using test::PeerOutput;
using test::ReadBytes;
using test::TempDir;

constexpr std::size_t BytesPerSecond = 44100 * 4;

// Noise (every bit of a sample matters to a lossless round trip), then silence.
std::vector<std::uint8_t> NoiseThenSilence(std::size_t noiseBytes, std::size_t silentBytes)
{
    std::vector<std::uint8_t> pcm(noiseBytes + silentBytes, 0);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < noiseBytes; ++i) {
        state = state * 1664525u + 1013904223u;
        pcm[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return pcm;
}

bool HaveFlacTools()
{
    return std::system("command -v flac >/dev/null 2>&1 && command -v metaflac >/dev/null 2>&1") == 0;
}

// Hands the bytes over in pieces of awkward sizes, so samples and channels are split between pieces.
bool WriteInPieces(FlacWriter& writer, const std::vector<std::uint8_t>& pcm)
{
    const std::size_t sizes[] = {1, 3, 2, 7, 4093, 2352, 65536, 5};
    std::size_t at = 0;
    for (std::size_t i = 0; at < pcm.size(); ++i) {
        const std::size_t n = std::min(sizes[i % std::size(sizes)], pcm.size() - at);
        if (!writer.Write(std::span(pcm).subspan(at, n)))
            return false;
        at += n;
    }
    return true;
}

TEST(FlacWriterTest, DecodesToTheSameBytesWithTagsAndSeekTable)
{
    if (!HaveFlacTools())
        GTEST_SKIP() << "flac and metaflac (Debian package flac) are not installed";
    const TempDir dir;
    const std::string path = dir.File("Track 1.flac");
    // 22 seconds and a bit more than one sector: seek points at 0, 10 and 20 seconds.
    const auto pcm = NoiseThenSilence(12 * BytesPerSecond + 2352 + 8, 10 * BytesPerSecond);
    FlacTags tags;
    tags.title = "Caf\xC3\xA9 \"Noise\" = 1";
    tags.artist = "Someone";
    tags.album = "Tests";
    tags.trackNumber = 1;
    tags.trackTotal = 12;
    tags.discId = "a20b4c0d";
    tags.isrc = "GBAYE6700149";
    tags.musicBrainzDiscId = "9xTzJr2Ejsf1RYOC6Kl7IdrnN9Y-";
    // albumArtist is empty: no ALBUMARTIST comment.

    FlacWriter writer;
    ASSERT_TRUE(writer.Open(path, tags, pcm.size())) << writer.Error();
    ASSERT_TRUE(WriteInPieces(writer, pcm)) << writer.Error();
    ASSERT_TRUE(writer.Finish()) << writer.Error();
    EXPECT_EQ(writer.Samples(), pcm.size() / 4);
    EXPECT_FALSE(writer.IsOpen());

    EXPECT_TRUE(PeerOutput("flac -t -s '" + path + "'")) << "flac -t failed";
    const std::string raw = dir.File("out.raw");
    ASSERT_TRUE(PeerOutput("flac -d -s -f --force-raw-format --endian=little --sign=signed -o '" + raw +
                           "' '" + path + "'"));
    EXPECT_TRUE(ReadBytes(raw) == pcm) << "the decoded samples differ";

    EXPECT_EQ(PeerOutput("metaflac --export-tags-to=- '" + path + "'"),
              "TITLE=Caf\xC3\xA9 \"Noise\" = 1\nARTIST=Someone\nALBUM=Tests\nTRACKNUMBER=1\nTRACKTOTAL=12\n"
              "DISCID=a20b4c0d\nISRC=GBAYE6700149\nMUSICBRAINZ_DISCID=9xTzJr2Ejsf1RYOC6Kl7IdrnN9Y-\n");
    const auto list = PeerOutput("metaflac --list --block-type=SEEKTABLE,STREAMINFO '" + path + "'");
    ASSERT_TRUE(list);
    EXPECT_NE(list->find("total samples: " + std::to_string(pcm.size() / 4)), std::string::npos) << *list;
    EXPECT_NE(list->find("seek points: 3"), std::string::npos) << *list;
    EXPECT_EQ(list->find("PLACEHOLDER"), std::string::npos) << "a seek point was not filled in:\n" << *list;
}

// A rip cancelled after 5 of 25 seconds: the points it never reached become placeholders rather
// than points at sample 441000 with the file's first byte as their offset.
TEST(FlacWriterTest, AStreamShorterThanExpectedKeepsOnlyTheSeekPointsItReached)
{
    if (!HaveFlacTools())
        GTEST_SKIP() << "flac and metaflac (Debian package flac) are not installed";
    const TempDir dir;
    const std::string path = dir.File("short.flac");
    const auto pcm = NoiseThenSilence(5 * BytesPerSecond, 0);
    FlacWriter writer;
    ASSERT_TRUE(writer.Open(path, {}, 25 * BytesPerSecond)) << writer.Error();
    ASSERT_TRUE(writer.Write(pcm) && writer.Finish()) << writer.Error();
    EXPECT_TRUE(PeerOutput("flac -t -s '" + path + "'"));
    const auto list = PeerOutput("metaflac --list --block-type=SEEKTABLE '" + path + "'");
    ASSERT_TRUE(list);
    EXPECT_NE(list->find("point 0: sample_number=0, stream_offset=0"), std::string::npos) << *list;
    EXPECT_EQ(list->find("sample_number=441000"), std::string::npos) << *list;
    EXPECT_NE(list->find("point 2: PLACEHOLDER"), std::string::npos) << *list;
}

// A lower and a higher level give the same samples back, and the lower one a larger file.
TEST(FlacWriterTest, CompressionLevels)
{
    if (!HaveFlacTools())
        GTEST_SKIP() << "flac (Debian package flac) is not installed";
    const TempDir dir;
    // A slow sine-like ramp compresses differently by level; noise would not.
    std::vector<std::uint8_t> pcm(3 * BytesPerSecond);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        const auto v = static_cast<std::int16_t>((i * 37 % 20000) + (i % 7) * 3 - 10000);
        pcm[2 * i] = static_cast<std::uint8_t>(v);
        pcm[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8);
    }
    std::vector<std::size_t> sizes;
    for (const int level : {0, 8}) {
        SCOPED_TRACE(level);
        const std::string path = dir.File("level" + std::to_string(level) + ".flac");
        FlacWriter writer;
        ASSERT_TRUE(writer.Open(path, {}, pcm.size(), level)) << writer.Error();
        ASSERT_TRUE(writer.Write(pcm) && writer.Finish()) << writer.Error();
        const std::string raw = dir.File("level.raw");
        ASSERT_TRUE(PeerOutput("flac -d -s -f --force-raw-format --endian=little --sign=signed -o '" + raw +
                               "' '" + path + "'"));
        EXPECT_TRUE(ReadBytes(raw) == pcm);
        sizes.push_back(ReadBytes(path).size());
    }
    EXPECT_GT(sizes[0], sizes[1]);
}

// Each way to fail gives false and a message; none leaves the writer open.
TEST(FlacWriterTest, FailuresAreReported)
{
    const TempDir dir;
    const auto pcm = NoiseThenSilence(BytesPerSecond, 0);
    {
        FlacWriter writer;
        EXPECT_FALSE(writer.Open(dir.File("no such folder/x.flac"), {}, pcm.size()));
        EXPECT_EQ(writer.Error().rfind("Error creating file ", 0), 0u) << writer.Error();
        EXPECT_FALSE(writer.Write(pcm));
        EXPECT_FALSE(writer.Finish());
    }
    {
        FlacWriter writer;
        EXPECT_FALSE(writer.Open(dir.File("level.flac"), {}, pcm.size(), 9));
        EXPECT_NE(writer.Error().find("0 to 8"), std::string::npos) << writer.Error();
    }
    {
        FlacWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("odd.flac"), {}, pcm.size()));
        ASSERT_TRUE(writer.Write(std::span(pcm).first(4 * 100 + 3)));
        EXPECT_FALSE(writer.Finish());
        EXPECT_NE(writer.Error().find("inside a sample"), std::string::npos) << writer.Error();
        EXPECT_FALSE(writer.IsOpen());
    }
    {
        // The disc is full after 64 KiB (tests run as root, so a size limit stands in for a full disc).
        const auto noise = NoiseThenSilence(20 * BytesPerSecond, 0);
        rlimit before{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = before;
        limited.rlim_cur = 64 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        FlacWriter writer;
        const bool opened = writer.Open(dir.File("full.flac"), {}, noise.size());
        const bool wrote = opened && writer.Write(noise);
        const bool finished = wrote && writer.Finish();
        const std::string error = writer.Error();
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previous);
        ASSERT_TRUE(opened) << error;
        EXPECT_FALSE(wrote && finished);
        EXPECT_EQ(error, "Error writing file");
    }
}

} // namespace
} // namespace tolvane::rip
