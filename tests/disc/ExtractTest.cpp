// Copying audio tracks into WAV files: the disc's own bytes from INDEX 01 to the next track's,
// in bursts with a sector-by-sector retry, and sizes that tell the truth when a copy stops early.
#include "disc/DiscFacts.h"

#include "emulator/ImageLoader.h"
#include "emulator/SectorSource.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t Sector = 2352;
constexpr std::size_t Header = 44;
constexpr std::uint8_t ReadCdOpcode = 0xBE;

// A disc in the virtual drive, checked and read.
std::unique_ptr<test::VirtualRig> ReadRig(std::shared_ptr<const emulator::Disc> image)
{
    auto rig = std::make_unique<test::VirtualRig>(std::move(image));
    EXPECT_TRUE(rig->disc->Check() && rig->disc->Read()) << rig->disc->ErrorMessage();
    return rig;
}

// Two tracks whose audio encodes every byte's disc address: track 1 is 75 blocks at LBA 0,
// track 2 302 blocks at LBA 75 (11 bursts of 27 and one of 5), read, with the READ CD commands
// sent from then on as "LBA+blocks" (" failed" when refused).
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
    bool exists = false;
    std::vector<std::uint8_t> file;
};

// Extracts a track; the Change handler cancels at event `cancelAt` (counted from 1; 0: never).
Outcome Extract(OpticalDisk& disc, std::uint8_t trk, const std::string& path, std::size_t cancelAt = 0)
{
    Outcome o;
    disc.SetChangeHandler([&o, cancelAt](std::int32_t extractedbytes, bool& cancelextract) {
        EXPECT_FALSE(cancelextract) << "the cancel flag enters false";
        o.changes.push_back(extractedbytes);
        cancelextract = o.changes.size() == cancelAt;
    });
    o.result = disc.Extract(trk, path);
    disc.SetChangeHandler(nullptr);
    o.error = disc.ErrorMessage();
    o.exists = fs::exists(path);
    o.file = fs::is_regular_file(path) ? test::ReadBytes(path) : std::vector<std::uint8_t>();
    return o;
}

// A WAV file of exactly `sectors` sectors whose sizes say so (its fixed fields are the WAV
// writer's, checked in WavWriterTest); with `lba`, its audio is the disc's from that address on.
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
    // cdda.bin, cdda_4_5.bin and p1.bin are the same 302 sectors.
    const auto bin = test::ReadBytes(test::TestDataPath("libcdio/cdda.bin"));
    ASSERT_EQ(bin.size(), 302 * Sector) << "libcdio/cdda.bin missing: set TOLVANE_TESTDATA";
    const struct {
        const char* sheet;
        std::uint8_t trk;
        std::size_t first, sectors; // in the .bin
    } cases[] = {
        {"libcdio/cdda.cue", 1, 0, 302},
        {"libcdio/cdda_4_5.cue", 4, 0, 150}, // the first track is 4
        {"libcdio/cdda_4_5.cue", 5, 150, 152},
        // Track 1 runs from its INDEX 01 (75) to track 2's (225): track 2's INDEX 00 goes with track 1.
        {"libcdio/p1.cue", 1, 75, 150},
        {"libcdio/p1.cue", 2, 225, 77}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " track " + std::to_string(c.trk));
        auto rig = ReadRig(test::LoadTestImage(c.sheet, false));
        test::TempDir dir;
        const Outcome o = Extract(*rig->disc, c.trk, dir.File("track.wav"));
        EXPECT_TRUE(o.result) << o.error;
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.changes.size(), c.sectors);
        ExpectWav(o.file, c.sectors);
        const auto from = bin.begin() + static_cast<std::ptrdiff_t>(c.first * Sector);
        EXPECT_TRUE(std::equal(from, from + static_cast<std::ptrdiff_t>(c.sectors * Sector),
                               o.file.begin() + Header, o.file.end()));
    }
}

TEST(ExtractTrack, ReadsInBurstsAndReportsEverySector)
{
    Small small;
    const std::uint64_t commandsBefore = small.rig->drive->CommandCount();
    const Outcome o = Extract(*small.rig->disc, 2, small.path);
    EXPECT_TRUE(o.result) << o.error;
    // One Change event per sector with the length the file will have.
    ASSERT_EQ(o.changes.size(), SmallSectors);
    EXPECT_EQ(o.changes.front(), 2396);
    for (std::size_t i = 1; i < o.changes.size(); ++i) {
        ASSERT_EQ(o.changes[i] - o.changes[i - 1], 2352) << "event " << i + 1;
    }
    ExpectWav(o.file, SmallSectors, SmallLba);
    std::vector<std::string> expected;
    AddReads(expected, 0, SmallSectors);
    EXPECT_EQ(small.reads, expected);
    EXPECT_EQ(small.rig->drive->CommandCount() - commandsBefore, 12u) << "nothing else is sent";
    // Track 2 of surferrosa, whole: it ends with the 45-block INDEX 00 of track 3 (23142 to 23186).
    auto rig = ReadRig(test::LoadTestImage("whipper/surferrosa.toc"));
    const Outcome whole = Extract(*rig->disc, 2, small.dir.File("surferrosa.wav"));
    EXPECT_TRUE(whole.result) << whole.error;
    ExpectWav(whole.file, 9420, 13767);
}

TEST(ExtractTrack, ACancelStopsBeforeTheCancelledSectorIsWritten)
{
    // At the first event, inside the first burst, at its last sector, at the second's first, at the last.
    for (const std::size_t k : {1, 2, 26, 27, 28, 29, 302}) {
        SCOPED_TRACE("cancel at event " + std::to_string(k));
        Small small;
        const Outcome o = Extract(*small.rig->disc, 2, small.path, k);
        EXPECT_EQ(o.result, k > 1) << "true once any sector was written";
        EXPECT_EQ(o.error, "") << "a cancel adds no message";
        EXPECT_EQ(o.changes.size(), k) << "no event after the cancel";
        ExpectWav(o.file, k - 1, SmallLba);
    }
}

TEST(ExtractTrack, ABurstThatFailsIsReadAgainSectorBySector)
{
    // A burst that fails once (k = -1): its sectors one at a time, then bursts again. A sector
    // that cannot be read: the bursts before it, its burst, its sectors up to it; nothing after.
    for (const int k : {-1, 0, 1, 26, 27, 28, 301}) {
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


// Runs Extract in a child process whose files may not grow beyond `limit` bytes (SIGXFSZ
// ignored, so a write past it fails with EFBIG); "1" or "0" and the message, empty if it did not report.
std::string ExtractUnderFileSizeLimit(OpticalDisk& disc, const std::string& path, rlim_t limit)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        const std::string report = ::setrlimit(RLIMIT_FSIZE, &rl) != 0
                                       ? ""
                                       : (disc.Extract(2, path) ? "1" : "0") + disc.ErrorMessage();
        ::_exit(::write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 4);
    }
    ::close(fds[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; pid > 0 && (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) {
        report.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0
               ? report
               : std::string();
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
                 {Header + Sector * 100, "Error writing file", 100},
                 {Header, "Error writing file", 0},
                 {Header + 262144, "Error writing file", 111},
                 {Header + Sector * 250 + 7, "Error writing file", 250},
                 {11, "Error creating RIFF chunk", 0},
                 {15, "Error creating fmt chunk", 0},
                 {30, "Error creating data chunk", 0},
                 {40, "Error creating data chunk", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limit));
        Small small;
        EXPECT_EQ(ExtractUnderFileSizeLimit(*small.rig->disc, small.path, c.limit),
                  std::string("0") + c.error);
        auto file = test::ReadBytes(small.path);
        ASSERT_EQ(file.size(), c.limit) << "every byte up to the limit was written";
        if (file.size() >= Header) {
            file.resize(Header + Sector * c.sectors);
            ExpectWav(file, c.sectors, SmallLba);
        }
    }
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
        const char* file = "track.wav"; // in a fresh folder; "" for the folder itself
    } cases[] = {{"libcdio/cdda.cue", 0, "Track out of range"},
                 {"libcdio/cdda.cue", 2, "Track out of range"},
                 {"libcdio/cdda_4_5.cue", 6, "Track out of range"},
                 // Count is the last track number; tracks 1 to 3 of a disc that starts at 4 are none.
                 {"libcdio/cdda_4_5.cue", 3, "Invalid mode"},
                 {"libcdio/isofs-m1.cue", 1, "Invalid mode"},
                 {"whipper/capital.fast.toc", 12, "Invalid mode"},
                 {"libcdio/cdda.cue", 1, "Invalid handle", "no-such-folder/track.wav"},
                 {"libcdio/cdda.cue", 1, "Invalid handle", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " track " + std::to_string(c.trk) + " to " + c.file);
        auto rig = ReadRig(test::LoadTestImage(c.image));
        test::TempDir dir;
        const Outcome o = Extract(*rig->disc, c.trk, *c.file ? dir.File(c.file) : dir.Path());
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.exists, !*c.file) << "the folder stays a folder; nothing else is created";
        EXPECT_FALSE(fs::exists(dir.File("no-such-folder")));
        EXPECT_TRUE(o.changes.empty());
    }
}

TEST(ExtractTrack, ATrackWithoutBlocksGivesAnEmptyWav)
{
    // Track 2 has no blocks (two TOC entries at the same address).
    using emulator::TrackMode;
    auto disc = test::BuildCd(
        {{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 75}, {3, TrackMode::Audio, 75}}, {{1, 150, 0x00}});
    disc->extents = {
        {0, 150, emulator::SectorFormat::Audio, std::make_shared<emulator::AddressPatternSource>(), 0}};
    auto rig = ReadRig(disc);
    OpticalDisk& d = *rig->disc;
    ASSERT_EQ(d.Count(), 3);
    ASSERT_EQ(d.Track(2)->LogicalBlocks(), 0);
    test::TempDir dir;
    const Outcome o = Extract(d, 2, dir.File("empty.wav"));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.changes.empty());
    ExpectWav(o.file, 0);
    // The track behind it is untouched by its empty neighbour.
    const Outcome next = Extract(d, 3, dir.File("next.wav"));
    EXPECT_TRUE(next.result) << next.error;
    ExpectWav(next.file, 75, 75);
}

} // namespace
} // namespace tolvane
