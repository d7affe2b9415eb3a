// Copying audio tracks into WAV files: the writer's header byte by byte, the disc's bytes from
// INDEX 01 on, in bursts with a retry, and sizes that tell the truth when a copy stops early.
#include "disc/DiscFacts.h"
#include "disc/WavWriter.h"

#include "emulator/ImageLoader.h"
#include "emulator/SectorSource.h"
#include "support/Hex.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t Sector = WavWriter::SectorSize;
constexpr std::size_t Header = 44;
constexpr std::uint8_t ReadCdOpcode = 0xBE;

// The writer alone; the sizes of a copy cut short or abandoned: the extraction tests below.
TEST(WavWriter, HeaderThenTheSamplesInOrderAcrossTheBuffer)
{
    // 200 sectors fill the 256 KiB buffer more than once, in pieces that cross sector and buffer ends.
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
    // RIFF, size, WAVE, "fmt ", 16, PCM, 2 channels, 44,100 Hz, 176,400 B/s, align 4, 16 bits, data, size.
    auto expected = test::Hex("52 49 46 46 A4 2D 07 00 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 02 00"
                              " 44 AC 00 00 10 B1 02 00 04 00 10 00 64 61 74 61 80 2D 07 00");
    expected.insert(expected.end(), samples.begin(), samples.end());
    EXPECT_EQ(test::ReadBytes(dir.File("out.wav")), expected);
}

TEST(WavWriter, RefusesEveryStepWhenNoFileIsOpen)
{
    // A file that cannot be opened: the refusals below and tests/cli.
    WavWriter wav;
    EXPECT_FALSE(wav.StartRiff());
    EXPECT_FALSE(wav.StartData(0));
    EXPECT_FALSE(wav.Write(std::vector<std::uint8_t>(Sector, 0)));
    EXPECT_FALSE(wav.Complete());
}

// A disc in the virtual drive, checked and read.
std::unique_ptr<test::VirtualRig> ReadRig(std::shared_ptr<const emulator::Disc> image)
{
    auto rig = std::make_unique<test::VirtualRig>(std::move(image));
    EXPECT_TRUE(rig->disc->Check() && rig->disc->Read()) << rig->disc->ErrorMessage();
    return rig;
}

// Two tracks whose audio encodes every byte's disc address, track 2 302 blocks at LBA 75 (11 bursts
// of 27, one of 5), read; the READ CDs sent from then on as "LBA+blocks" (" failed" when refused).
constexpr std::int32_t SmallLba = 75;
constexpr std::size_t SmallSectors = 302;

struct Small {
    test::TempDir dir;
    std::string path = dir.File("track.wav");
    std::unique_ptr<test::VirtualRig> rig;
    std::vector<std::string> reads;

    Small()
    {
        emulator::LoadOptions options;
        options.synthesizeMissingData = true;
        const auto loaded = emulator::LoadImage(
            dir.Write("small.toc", "CD_DA\nTRACK AUDIO\nFILE \"absent.wav\" 0 00:01:00\n"
                                   "TRACK AUDIO\nFILE \"absent.wav\" 00:01:00 00:04:02\n"),
            options);
        EXPECT_TRUE(loaded.disc) << loaded.error;
        rig = ReadRig(loaded.disc);
        rig->disc->Transport().SetCommandObserver([this](ConstBytes cdb, const ScsiResult& result) {
            if (!cdb.empty() && cdb[0] == ReadCdOpcode) {
                reads.push_back(std::to_string(Be32(cdb, 2)) + "+" + std::to_string(Be24(cdb, 6)) +
                                (result.Good() ? "" : " failed"));
            }
        });
    }
};

// READ CDs of the small track in bursts of 27 from sector `from` for `sectors` sectors (each
// of one sector with `singles`), and a `failed` one.
void AddReads(std::vector<std::string>& reads, std::size_t from, std::size_t sectors, bool singles = false,
              bool failed = false)
{
    for (std::size_t s = from; s < from + sectors; s += singles ? 1 : 27) {
        reads.push_back(std::to_string(SmallLba + s) + "+" +
                        std::to_string(singles ? 1 : std::min<std::size_t>(27, from + sectors - s)) +
                        (failed ? " failed" : ""));
    }
}

// What one call of Extract did.
struct Outcome {
    bool result = false;
    std::string error;
    std::vector<std::int32_t> changes; // extractedbytes of every Change event, in order
    std::vector<std::uint8_t> file;
};

// Extracts a track (a cancel is checked through the CLI and the window, in tests/cli and tests/app).
Outcome Extract(OpticalDisk& disc, std::uint8_t trk, const std::string& path)
{
    Outcome o;
    disc.SetChangeHandler([&o](std::int32_t extractedbytes, bool& cancelextract) {
        EXPECT_FALSE(cancelextract) << "the cancel flag enters false";
        o.changes.push_back(extractedbytes);
    });
    o.result = disc.Extract(trk, path);
    disc.SetChangeHandler(nullptr);
    o.error = disc.ErrorMessage();
    o.file = fs::is_regular_file(path) ? test::ReadBytes(path) : std::vector<std::uint8_t>();
    return o;
}

// A WAV file of exactly `sectors` sectors whose sizes say so (its fixed fields are the WAV
// writer's, checked above); with `lba`, its audio is the disc's from that address on.
void ExpectWav(const std::vector<std::uint8_t>& file, std::size_t sectors, std::int64_t lba = -1)
{
    ASSERT_EQ(file.size(), Header + Sector * sectors);
    EXPECT_EQ(Le32(file, 4), 36 + Sector * sectors) << "RIFF size";
    EXPECT_EQ(Le32(file, 40), Sector * sectors) << "data size";
    for (std::size_t i = 0; lba >= 0 && i < Sector * sectors; ++i) {
        const std::int64_t at = lba + static_cast<std::int64_t>(i / Sector);
        ASSERT_EQ(file[Header + i], emulator::AddressPatternSource::ByteAt(at, i % Sector)) << "LBA " << at;
    }
}

TEST(ExtractTrack, FileHoldsTheImageBytesOfTheTrack)
{
    // cdda.bin, cdda_4_5.bin and p1.bin are the same 302 sectors (cdda.cue's one track: tests/cli).
    const auto bin = test::ReadBytes(test::TestDataPath("libcdio/cdda.bin"));
    ASSERT_EQ(bin.size(), 302 * Sector) << "libcdio/cdda.bin missing: set TOLVANE_TESTDATA";
    const struct {
        const char* sheet;
        std::uint8_t trk;
        std::size_t first, sectors; // in the .bin
    } cases[] = {
        {"libcdio/cdda_4_5.cue", 4, 0, 150}, // the first track is 4
        // Track 1 runs from its INDEX 01 (75) to track 2's (225): track 2's INDEX 00 goes with track 1.
        {"libcdio/p1.cue", 1, 75, 150},
        {"libcdio/p1.cue", 2, 225, 77}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " track " + std::to_string(c.trk));
        auto rig = ReadRig(test::LoadTestImage(c.sheet, false));
        test::TempDir dir;
        const Outcome o = Extract(*rig->disc, c.trk, dir.File("track.wav"));
        EXPECT_TRUE(o.result) << o.error;
        EXPECT_EQ(o.changes.size(), c.sectors);
        ExpectWav(o.file, c.sectors);
        const auto from = bin.begin() + static_cast<std::ptrdiff_t>(c.first * Sector);
        EXPECT_TRUE(std::equal(from, from + static_cast<std::ptrdiff_t>(c.sectors * Sector),
                               o.file.begin() + Header, o.file.end()));
    }
    // Track 2 of surferrosa, whole: it ends with the 45-block INDEX 00 of track 3 (23142 to 23186).
    auto rig = ReadRig(test::LoadTestImage("whipper/surferrosa.toc"));
    test::TempDir dir;
    const Outcome whole = Extract(*rig->disc, 2, dir.File("surferrosa.wav"));
    EXPECT_TRUE(whole.result) << whole.error;
    ExpectWav(whole.file, 9420, 13767);
}

TEST(ExtractTrack, ABurstThatFailsIsReadAgainSectorBySector)
{
    // A burst that fails once (k = -1): its sectors one at a time, then bursts again. A sector
    // that cannot be read: the bursts before it, its burst, its sectors up to it; nothing after.
    for (const int k : {-1, 0, 26, 27, 301}) {
        SCOPED_TRACE("sector " + std::to_string(k) + " cannot be read");
        Small small;
        if (k < 0) {
            small.rig->drive->FailCommand(ReadCdOpcode, 1);
        } else {
            small.rig->drive->FailReadsAt(SmallLba + k);
        }
        const std::size_t bad = k < 0 ? SmallSectors : static_cast<std::size_t>(k);
        const Outcome o = Extract(*small.rig->disc, 2, small.path);
        EXPECT_EQ(o.result, k < 0);
        EXPECT_EQ(o.error, k < 0 ? "" : "Error reading bytes");
        EXPECT_EQ(o.changes.size(), bad);
        ExpectWav(o.file, bad, SmallLba);
        const std::size_t burst = k < 0 ? 0 : bad / 27 * 27;
        std::vector<std::string> expected;
        AddReads(expected, 0, burst);
        AddReads(expected, burst, std::min<std::size_t>(27, SmallSectors - burst), false, true);
        AddReads(expected, burst, k < 0 ? 27 : bad - burst, true);
        if (k < 0) {
            AddReads(expected, 27, SmallSectors - 27);
        } else {
            AddReads(expected, bad, 1, true, true);
        }
        EXPECT_EQ(small.reads, expected);
    }
}

TEST(ExtractTrack, ExtractToHandsOverWhatExtractWrites)
{
    Small small;
    const Outcome wav = Extract(*small.rig->disc, 2, small.path);
    ASSERT_TRUE(wav.result) << wav.error;
    const std::vector<std::string> wavReads = small.reads;

    // The same sectors, Change events and READ CDs, into a sink instead of a file.
    small.reads.clear();
    std::vector<std::uint8_t> audio;
    std::vector<std::int32_t> changes;
    OpticalDisk& disc = *small.rig->disc;
    disc.SetChangeHandler([&changes](std::int32_t extractedbytes, bool&) { changes.push_back(extractedbytes); });
    EXPECT_TRUE(disc.ExtractTo(2, [&audio](ConstBytes sector) {
        audio.insert(audio.end(), sector.begin(), sector.end());
        return true;
    })) << disc.ErrorMessage();
    EXPECT_EQ(changes, wav.changes);
    EXPECT_EQ(small.reads, wavReads);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), wav.file.begin() + Header, wav.file.end()));
    EXPECT_EQ(audio.size(), SmallSectors * Sector);

    // A sink that cannot take sector 40 stops the copy in that burst, as a full disc stops Extract.
    small.reads.clear();
    std::size_t taken = 0;
    EXPECT_FALSE(disc.ExtractTo(2, [&taken](ConstBytes) { return taken++ < 40; }));
    EXPECT_EQ(disc.ErrorMessage(), "Error writing file");
    EXPECT_EQ(taken, 41u);
    std::vector<std::string> expected;
    AddReads(expected, 0, 54);
    EXPECT_EQ(small.reads, expected);

    // A cancel before a sector: it is not handed over, and the copy is no failure (as for Extract).
    std::size_t handed = 0;
    disc.SetChangeHandler([](std::int32_t extractedbytes, bool& cancel) {
        cancel = extractedbytes > static_cast<std::int32_t>(Header + 10 * Sector);
    });
    EXPECT_TRUE(disc.ExtractTo(2, [&handed](ConstBytes) { return ++handed > 0; }));
    EXPECT_EQ(handed, 10u);
    disc.SetChangeHandler(nullptr);

    // An unreadable sector: those before it are handed over; refusals as Extract's.
    small.rig->drive->FailReadsAt(SmallLba + 30);
    handed = 0;
    EXPECT_FALSE(disc.ExtractTo(2, [&handed](ConstBytes) { return ++handed > 0; }));
    EXPECT_EQ(disc.ErrorMessage(), "Error reading bytes");
    EXPECT_EQ(handed, 30u);
    EXPECT_FALSE(disc.ExtractTo(3, [](ConstBytes) { return true; }));
    EXPECT_EQ(disc.ErrorMessage(), "Track out of range");
}

TEST(ExtractTrack, AFileThatCannotGrowStopsTheCopyWithSizesOfTheSectorsInIt)
{
    // The writer sends its buffer 262,144 bytes at a time (111.45 sectors) and the rest when the
    // file is completed; the track is 302 sectors. Each chunk of the header has its own message.
    const struct {
        rlim_t limit;
        const char* error;
        std::size_t sectors; // whole sectors the header must describe
    } cases[] = {{Header + Sector * 100 + 1000, "Error writing file", 100},
                 {Header, "Error writing file", 0},
                 {Header + 262144, "Error writing file", 111},
                 {11, "Error creating RIFF chunk", 0},
                 {15, "Error creating fmt chunk", 0},
                 {30, "Error creating data chunk", 0}};
    // With SIGXFSZ ignored a write past the limit fails (EFBIG); the limit is lifted right after.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        Small small;
        const rlimit limited{c.limit, old.rlim_max};
        const bool set = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
        const bool result = set && small.rig->disc->Extract(2, small.path);
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_TRUE(set);
        EXPECT_FALSE(result);
        EXPECT_EQ(small.rig->disc->ErrorMessage(), c.error);
        auto file = test::ReadBytes(small.path);
        ASSERT_EQ(file.size(), c.limit) << "every byte up to the limit was written";
        if (file.size() >= Header) {
            file.resize(Header + Sector * c.sectors);
            ExpectWav(file, c.sectors, SmallLba);
        }
    }
    std::signal(SIGXFSZ, handler);
}

TEST(ExtractTrack, AnUnexpectedFailureKeepsTheSectorsWrittenAndTheProvisionalHeader)
{
    Small small;
    // At the 200th sector, while most of the copy still sits in the writer's buffer.
    std::size_t events = 0;
    small.rig->disc->SetChangeHandler([&events](std::int32_t, bool&) {
        if (++events == 200) {
            throw std::runtime_error("handler failed");
        }
    });
    EXPECT_FALSE(small.rig->disc->Extract(2, small.path));
    EXPECT_EQ(small.rig->disc->ErrorMessage(), "handler failed");
    auto file = test::ReadBytes(small.path);
    ASSERT_EQ(file.size(), Header + Sector * 199);
    EXPECT_EQ(Le32(file, 4), 0u) << "the RIFF size stays provisional";
    EXPECT_EQ(Le32(file, 40), SmallSectors * Sector) << "so does the data size";
}

TEST(ExtractTrack, RefusalsCreateNoFile)
{
    const struct {
        const char* image;
        std::uint8_t trk;
        const char* error;
        const char* file = "track.wav"; // in a fresh folder
    } cases[] = {{"libcdio/cdda.cue", 0, "Track out of range"},
                 {"libcdio/cdda_4_5.cue", 6, "Track out of range"},
                 // Count is the last track number; tracks 1 to 3 of a disc that starts at 4 are none.
                 {"libcdio/cdda_4_5.cue", 3, "Invalid mode"},
                 {"whipper/capital.fast.toc", 12, "Invalid mode"},
                 // A folder in the file's place: tests/cli.
                 {"libcdio/cdda.cue", 1, "Invalid handle", "no-such-folder/track.wav"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " track " + std::to_string(c.trk) + " to " + c.file);
        auto rig = ReadRig(test::LoadTestImage(c.image));
        test::TempDir dir;
        const Outcome o = Extract(*rig->disc, c.trk, dir.File(c.file));
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.error, c.error);
        EXPECT_TRUE(fs::is_empty(dir.Path())) << "nothing is created";
        EXPECT_TRUE(o.changes.empty());
    }
}

} // namespace
} // namespace tolvane
