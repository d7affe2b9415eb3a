// Copying audio tracks into WAV files through the virtual drive: the file holds
// the disc's own bytes from one track's INDEX 01 to the next one's, progress and
// cancel go sector by sector, reads go in bursts with a sector-by-sector retry,
// and a copy that stops early still leaves a WAV file whose sizes tell the truth.
#include "disc/OpticalDisk.h"
#include "emulator/DemoDiscs.h"
#include "emulator/SectorSource.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t Sector = 2352;
constexpr std::size_t Header = 44;
constexpr std::uint8_t ReadCdOpcode = 0xBE;

std::size_t FileSize(std::size_t sectors)
{
    return Header + Sector * sectors;
}

// A disc in the virtual drive, checked and read.
std::unique_ptr<test::VirtualRig> ReadRig(std::shared_ptr<const emulator::Disc> image)
{
    auto rig = std::make_unique<test::VirtualRig>(std::move(image));
    EXPECT_TRUE(rig->disc->Check()) << rig->disc->ErrorMessage();
    EXPECT_TRUE(rig->disc->Read()) << rig->disc->ErrorMessage();
    return rig;
}

// A two-track disc whose audio is synthesized so that every byte encodes its own
// disc address: track 1 is 75 blocks at LBA 0, track 2 302 blocks at LBA 75
// (11 bursts of 27 and one of 5).
constexpr std::int32_t SmallTrackLba = 75;
constexpr std::size_t SmallTrackSectors = 302;

std::shared_ptr<const emulator::Disc> SmallDisc(const test::TempDir& dir)
{
    const std::string toc = dir.Write("small.toc", "CD_DA\n"
                                                   "TRACK AUDIO\n"
                                                   "FILE \"absent.wav\" 0 00:01:00\n"
                                                   "TRACK AUDIO\n"
                                                   "FILE \"absent.wav\" 00:01:00 00:04:02\n");
    emulator::LoadOptions options;
    options.synthesizeMissingData = true;
    const auto loaded = emulator::LoadImage(toc, options);
    EXPECT_TRUE(loaded.disc) << loaded.error;
    return loaded.disc;
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
    if (fs::is_regular_file(path)) {
        o.file = test::ReadBytes(path);
    }
    return o;
}

// The sizes in a file's header (its fixed fields are the WAV writer's, checked in WavWriterTest).
void ExpectHeader(const std::vector<std::uint8_t>& file, std::size_t dataSize)
{
    ASSERT_GE(file.size(), Header);
    EXPECT_EQ(Le32(file, 4), 36 + dataSize) << "RIFF size";
    EXPECT_EQ(Le32(file, 40), dataSize) << "data size";
}

// A complete WAV file of `sectors` sectors: its length and both sizes.
void ExpectWav(const std::vector<std::uint8_t>& file, std::size_t sectors)
{
    EXPECT_EQ(file.size(), FileSize(sectors));
    ExpectHeader(file, Sector * sectors);
}

using SectorBytes = std::function<void(std::size_t sector, std::span<std::uint8_t> out)>;

// The first of `sectors` sectors behind the header that differs from `expected`, or -1.
std::int64_t FirstMismatch(const std::vector<std::uint8_t>& file, std::size_t sectors,
                           const SectorBytes& expected)
{
    if (file.size() < FileSize(sectors)) {
        return -2;
    }
    std::vector<std::uint8_t> want(Sector);
    for (std::size_t s = 0; s < sectors; ++s) {
        expected(s, want);
        if (!std::equal(want.begin(), want.end(), file.begin() + static_cast<std::ptrdiff_t>(FileSize(s)))) {
            return static_cast<std::int64_t>(s);
        }
    }
    return -1;
}

// Sector s of a track at `lba` on a disc synthesized by address: the pattern is
// keyed by the block's address on the disc, not by its place in the missing file.
SectorBytes PatternFrom(std::int32_t lba)
{
    return [lba](std::size_t s, std::span<std::uint8_t> out) {
        emulator::AddressPatternSource{}.Read(lba + static_cast<std::int64_t>(s), out);
    };
}

bool IsPatternAt(std::int64_t lba, ConstBytes sector)
{
    for (std::size_t i = 0; i < sector.size(); ++i) {
        if (sector[i] != emulator::AddressPatternSource::ByteAt(lba, i)) {
            return false;
        }
    }
    return true;
}

bool HaveSoxi()
{
    static const bool have = std::system("command -v soxi >/dev/null 2>&1") == 0;
    return have;
}

// What soxi prints for the file with these options; false when it rejects the file.
bool RunSoxi(const std::string& options, const std::string& path, std::string& out)
{
    out.clear();
    FILE* pipe = ::popen(("soxi " + options + " '" + path + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        out += chunk;
    }
    return ::pclose(pipe) == 0;
}

// soxi must read the file as CD audio of exactly `sectors` sectors. Nothing is
// checked without soxi; the test Soxi.IsInstalled shows that as a skip.
void ExpectSoxiAccepts(const std::string& path, std::size_t sectors)
{
    if (!HaveSoxi()) {
        return;
    }
    std::string out;
    EXPECT_TRUE(RunSoxi("", path, out)) << out;
    EXPECT_NE(out.find("Channels       : 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Sample Rate    : 44100\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Precision      : 16-bit\n"), std::string::npos) << out;
    EXPECT_NE(out.find("16-bit Signed Integer PCM"), std::string::npos) << out;
    EXPECT_TRUE(RunSoxi("-s", path, out)) << out;
    EXPECT_EQ(out, std::to_string(sectors * 588) + "\n") << "samples per channel";
}

TEST(Soxi, IsInstalled)
{
    if (!HaveSoxi()) {
        GTEST_SKIP() << "soxi (package sox) is not installed: the WAV files are not checked with it";
    }
    SUCCEED();
}

// ---------------------------------------------------------------------------
// Byte-identical audio from images with their data files

struct BinCase {
    const char* name;
    const char* sheet;
    std::uint8_t trk;
    std::size_t firstSector; // in the .bin
    std::size_t sectors;
};

void PrintTo(const BinCase& c, std::ostream* os)
{
    *os << c.name;
}

class BinImages : public ::testing::TestWithParam<BinCase> {};

TEST_P(BinImages, FileHoldsTheImageBytesOfTheTrack)
{
    const BinCase& c = GetParam();
    // cdda.bin, cdda_4_5.bin and p1.bin are the same 302 sectors.
    const auto bin = test::ReadBytes(test::TestDataPath("libcdio/cdda.bin"));
    ASSERT_EQ(bin.size(), 302 * Sector) << "libcdio/cdda.bin missing: set TOLVANE_TESTDATA";
    auto rig = ReadRig(test::LoadTestImage(c.sheet, false));
    test::TempDir dir;
    const std::string path = dir.File("track.wav");

    const Outcome o = Extract(*rig->disc, c.trk, path);
    EXPECT_TRUE(o.result) << o.error;
    EXPECT_EQ(o.error, "");
    ExpectWav(o.file, c.sectors);
    EXPECT_EQ(FirstMismatch(o.file, c.sectors,
                            [&](std::size_t s, std::span<std::uint8_t> out) {
                                const auto from =
                                    bin.begin() + static_cast<std::ptrdiff_t>((c.firstSector + s) * Sector);
                                std::copy(from, from + static_cast<std::ptrdiff_t>(Sector), out.begin());
                            }),
              -1);
    EXPECT_EQ(o.changes.size(), c.sectors);
    ExpectSoxiAccepts(path, c.sectors);
}

INSTANTIATE_TEST_SUITE_P(Libcdio, BinImages,
                         ::testing::Values(BinCase{"cdda", "libcdio/cdda.cue", 1, 0, 302},
                                           // The first track is 4.
                                           BinCase{"cdda_4_5_track4", "libcdio/cdda_4_5.cue", 4, 0, 150},
                                           BinCase{"cdda_4_5_track5", "libcdio/cdda_4_5.cue", 5, 150, 152},
                                           // Track 1 runs from its INDEX 01 (75) to track 2's INDEX 01 (225),
                                           // so track 2's INDEX 00 (150) is copied with track 1.
                                           BinCase{"p1_track1", "libcdio/p1.cue", 1, 75, 150},
                                           BinCase{"p1_track2", "libcdio/p1.cue", 2, 225, 77}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Discs of real pressings (cdrdao tocs) with synthesized audio

struct SynthCase {
    const char* name;
    const char* toc;
    int audioTracks;
    // Blocks at the end of the last audio track that are the following data track's pregap,
    // recorded in its data mode: READ CD of CD-DA fails on them, as on a real drive.
    std::int32_t dataPregap = 0;
};

void PrintTo(const SynthCase& c, std::ostream* os)
{
    *os << c.name;
}

class SynthesizedDiscs : public ::testing::TestWithParam<SynthCase> {};

TEST_P(SynthesizedDiscs, FirstAndLastSectorsOfEveryTrackEncodeTheirDiscAddress)
{
    auto rig = ReadRig(test::LoadTestImage(GetParam().toc));
    OpticalDisk& d = *rig->disc;
    test::TempDir dir;
    const std::string path = dir.File("track.wav");
    int audio = 0;
    for (int n = 1; n <= d.Count(); ++n) {
        const auto track = d.Track(static_cast<std::int16_t>(n));
        ASSERT_TRUE(track);
        if (track->Mode() != "Audio") {
            continue; // the data track of capital.fast
        }
        ++audio;
        SCOPED_TRACE("track " + std::to_string(n));
        ASSERT_GT(track->LogicalBlocks(), 2);

        // The first two sectors, through Extract cancelled at the third.
        const Outcome o = Extract(d, static_cast<std::uint8_t>(n), path, 3);
        EXPECT_TRUE(o.result) << o.error;
        ExpectWav(o.file, 2);
        EXPECT_EQ(FirstMismatch(o.file, 2, PatternFrom(track->LBA())), -1);

        // The last sector (on the discs with pregaps, the next track's INDEX 00), read the way
        // extraction reads one sector.
        const std::int32_t end = track->LBA() + track->LogicalBlocks();
        const bool beforeData = n < d.Count() && d.Track(static_cast<std::int16_t>(n + 1))->Mode() != "Audio";
        const std::int32_t audioEnd = beforeData ? end - GetParam().dataPregap : end;
        std::vector<std::uint8_t> sector(Sector);
        ASSERT_TRUE(d.Transport().ReadCD(audioEnd - 1, static_cast<std::int16_t>(Sector), sector.data()));
        EXPECT_TRUE(IsPatternAt(audioEnd - 1, sector)) << "LBA " << audioEnd - 1;
        if (audioEnd != end) {
            EXPECT_FALSE(d.Transport().ReadCD(audioEnd, static_cast<std::int16_t>(Sector), sector.data()));
        }
    }
    EXPECT_EQ(audio, GetParam().audioTracks);
}

INSTANTIATE_TEST_SUITE_P(Whipper, SynthesizedDiscs,
                         ::testing::Values(SynthCase{"bloc", "whipper/bloc.toc", 13},
                                           SynthCase{"breeders", "whipper/breeders.toc", 13},
                                           SynthCase{"capital1", "whipper/capital.1.toc", 11},
                                           // Track 12 (MODE1) has a 150-block MODE1 pregap.
                                           SynthCase{"capitalfast", "whipper/capital.fast.toc", 11, 150},
                                           SynthCase{"cure", "whipper/cure.toc", 13},
                                           SynthCase{"jose", "whipper/jose.toc", 10},
                                           SynthCase{"strokes", "whipper/strokes-someday.toc", 1},
                                           SynthCase{"surferrosa", "whipper/surferrosa.toc", 21}),
                         [](const auto& info) { return std::string(info.param.name); });

// Track 2 of surferrosa, whole: it ends with the 45-block INDEX 00 of track 3 (23142 to 23186).
TEST(SurferRosa, EverySectorOfATrackEncodesItsDiscAddress)
{
    auto rig = ReadRig(test::LoadTestImage("whipper/surferrosa.toc"));
    test::TempDir dir;
    const std::string path = dir.File("track.wav");
    const Outcome o = Extract(*rig->disc, 2, path);
    EXPECT_TRUE(o.result) << o.error;
    ExpectWav(o.file, 9420);
    EXPECT_EQ(FirstMismatch(o.file, 9420, PatternFrom(13767)), -1);
    ExpectSoxiAccepts(path, 9420);
}

// ---------------------------------------------------------------------------
// Bursts, change events and cancel

struct ReadCdCommand {
    std::int32_t lba;
    std::uint32_t blocks;
    bool ok;

    bool operator==(const ReadCdCommand&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ReadCdCommand& c)
{
    return os << "{" << c.lba << ", " << c.blocks << (c.ok ? "}" : " failed}");
}

// Records the READ CD commands the disc object sends from now on.
std::shared_ptr<std::vector<ReadCdCommand>> RecordReadCd(OpticalDisk& disc)
{
    auto log = std::make_shared<std::vector<ReadCdCommand>>();
    disc.Transport().SetCommandObserver([log](std::span<const std::uint8_t> cdb, const ScsiResult& result) {
        if (!cdb.empty() && cdb[0] == ReadCdOpcode) {
            log->push_back({static_cast<std::int32_t>(Be32(cdb, 2)), Be24(cdb, 6), result.Good()});
        }
    });
    return log;
}

// Bursts of 27 from `from` (relative to the track) for `sectors` sectors.
void AddBursts(std::vector<ReadCdCommand>& commands, std::size_t from, std::size_t sectors)
{
    for (std::size_t s = from; s < from + sectors; s += 27) {
        commands.push_back({SmallTrackLba + static_cast<std::int32_t>(s),
                            static_cast<std::uint32_t>(std::min<std::size_t>(27, from + sectors - s)), true});
    }
}

// A whole copy: one Change event per sector with the length the file will have, and the track read in
// bursts of 27 with nothing else sent.
TEST(ExtractTrack, ReadsInBurstsAndReportsEverySector)
{
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const auto log = RecordReadCd(*rig->disc);
    const std::uint64_t commandsBefore = rig->drive->CommandCount();
    const std::string path = dir.File("track.wav");
    const Outcome o = Extract(*rig->disc, 2, path);
    EXPECT_TRUE(o.result) << o.error;
    ASSERT_EQ(o.changes.size(), SmallTrackSectors);
    EXPECT_EQ(o.changes.front(), 2396);
    EXPECT_EQ(o.changes.back(), static_cast<std::int32_t>(FileSize(SmallTrackSectors)));
    for (std::size_t i = 1; i < o.changes.size(); ++i) {
        ASSERT_EQ(o.changes[i] - o.changes[i - 1], 2352) << "event " << i + 1;
    }
    ExpectWav(o.file, SmallTrackSectors);
    EXPECT_EQ(FirstMismatch(o.file, SmallTrackSectors, PatternFrom(SmallTrackLba)), -1);
    ExpectSoxiAccepts(path, SmallTrackSectors);
    std::vector<ReadCdCommand> expected;
    AddBursts(expected, 0, SmallTrackSectors);
    EXPECT_EQ(*log, expected);
    EXPECT_EQ(rig->drive->CommandCount() - commandsBefore, 12u);
}

class ExtractCancel : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ExtractCancel, StopsBeforeTheCancelledSectorIsWritten)
{
    const std::size_t k = GetParam();
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const std::string path = dir.File("track.wav");
    const Outcome o = Extract(*rig->disc, 2, path, k);
    // True once any sector was written; a cancel adds no message.
    EXPECT_EQ(o.result, k > 1);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.changes.size(), k) << "no event after the cancel";
    ExpectWav(o.file, k - 1);
    EXPECT_EQ(FirstMismatch(o.file, k - 1, PatternFrom(SmallTrackLba)), -1);
    ExpectSoxiAccepts(path, k - 1);
}

// At the first event, inside the first burst, at its last sector, at the first sector of the
// second, and at the track's last sector.
INSTANTIATE_TEST_SUITE_P(AtEvent, ExtractCancel, ::testing::Values(1, 2, 26, 27, 28, 29, SmallTrackSectors));

// ---------------------------------------------------------------------------
// Read failures and corrupted sectors

TEST(ExtractBursts, ABurstThatFailsOnceIsReadAgainSectorBySector)
{
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const auto log = RecordReadCd(*rig->disc);
    rig->drive->FailCommand(ReadCdOpcode, 1);

    const std::string path = dir.File("track.wav");
    const Outcome o = Extract(*rig->disc, 2, path);
    EXPECT_TRUE(o.result) << o.error;
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.changes.size(), SmallTrackSectors);
    ExpectWav(o.file, SmallTrackSectors);
    EXPECT_EQ(FirstMismatch(o.file, SmallTrackSectors, PatternFrom(SmallTrackLba)), -1);

    std::vector<ReadCdCommand> expected{{SmallTrackLba, 27, false}};
    for (std::int32_t s = 0; s < 27; ++s) {
        expected.push_back({SmallTrackLba + s, 1, true});
    }
    AddBursts(expected, 27, SmallTrackSectors - 27);
    EXPECT_EQ(*log, expected);
}

class ExtractReadFailure : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ExtractReadFailure, LeavesExactlyTheSectorsBeforeTheBadOne)
{
    const std::size_t k = GetParam();
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    rig->drive->FailReadsAt(SmallTrackLba + static_cast<std::int32_t>(k));
    const auto log = RecordReadCd(*rig->disc);
    const std::string path = dir.File("track.wav");

    const Outcome o = Extract(*rig->disc, 2, path);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.error, "Error reading bytes");
    EXPECT_EQ(o.changes.size(), k);
    ExpectWav(o.file, k);
    EXPECT_EQ(FirstMismatch(o.file, k, PatternFrom(SmallTrackLba)), -1);
    ExpectSoxiAccepts(path, k);

    // The bursts before the bad one, the bad burst, then its sectors one at a time up to the bad
    // sector, and nothing after it.
    const std::size_t burst = k / 27 * 27;
    std::vector<ReadCdCommand> expected;
    AddBursts(expected, 0, burst);
    expected.push_back({SmallTrackLba + static_cast<std::int32_t>(burst),
                        static_cast<std::uint32_t>(std::min<std::size_t>(27, SmallTrackSectors - burst)),
                        false});
    for (std::size_t s = burst; s <= k; ++s) {
        expected.push_back({SmallTrackLba + static_cast<std::int32_t>(s), 1, s < k});
    }
    EXPECT_EQ(*log, expected);
}

INSTANTIATE_TEST_SUITE_P(AtSector, ExtractReadFailure,
                         ::testing::Values(0, 1, 26, 27, 28, SmallTrackSectors - 1));

struct CorruptCase {
    std::size_t sector;
    std::size_t offset;
};

class ExtractCorrupt : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(ExtractCorrupt, ABadByteFromTheDriveLandsAtItsPlaceInTheFile)
{
    const CorruptCase& c = GetParam();
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const std::int64_t lba = SmallTrackLba + static_cast<std::int64_t>(c.sector);
    rig->drive->CorruptAt(static_cast<std::int32_t>(lba), c.offset, 0xA5);

    const Outcome o = Extract(*rig->disc, 2, dir.File("track.wav"));
    EXPECT_TRUE(o.result) << o.error;
    ExpectWav(o.file, SmallTrackSectors);
    const SectorBytes pattern = PatternFrom(SmallTrackLba);
    const auto corrupted = [&](std::size_t s, std::span<std::uint8_t> out) {
        pattern(s, out);
        out[c.offset] ^= s == c.sector ? 0xA5 : 0x00;
    };
    EXPECT_EQ(FirstMismatch(o.file, SmallTrackSectors, corrupted), -1);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ExtractCorrupt,
                         ::testing::Values(CorruptCase{0, 0}, CorruptCase{40, 1000}, CorruptCase{26, 2351},
                                           CorruptCase{SmallTrackSectors - 1, 2351}));

// ---------------------------------------------------------------------------
// A file that cannot grow: the copy stops, and the sizes describe whole sectors that are in the file

struct ChildReport {
    bool ran = false;
    bool result = false;
    std::string error;
};

// Runs Extract in a child process whose files may not grow beyond `limit` bytes (SIGXFSZ ignored,
// so a write past it fails with EFBIG), leaving the test process's own limits alone.
ChildReport ExtractUnderFileSizeLimit(OpticalDisk& disc, std::uint8_t trk, const std::string& path,
                                      rlim_t limit)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {};
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) {
            ::_exit(3);
        }
        const bool ok = disc.Extract(trk, path);
        const std::string report = (ok ? "1" : "0") + disc.ErrorMessage();
        const bool sent =
            ::write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
        ::_exit(sent ? 0 : 4);
    }
    ::close(fds[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) {
        report.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ChildReport r;
    r.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !report.empty();
    if (r.ran) {
        r.result = report[0] == '1';
        r.error = report.substr(1);
    }
    return r;
}

struct WriteFailureCase {
    const char* name;
    rlim_t limit;
    const char* error;
    std::size_t sectors; // whole sectors the header must describe
};

void PrintTo(const WriteFailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExtractWriteFailure : public ::testing::TestWithParam<WriteFailureCase> {};

TEST_P(ExtractWriteFailure, StopsWithSizesOfTheSectorsInTheFile)
{
    const WriteFailureCase& c = GetParam();
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const std::string path = dir.File("track.wav");

    const ChildReport r = ExtractUnderFileSizeLimit(*rig->disc, 2, path, c.limit);
    ASSERT_TRUE(r.ran) << "the child process did not report";
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.error, c.error);
    const auto file = test::ReadBytes(path);
    // Every byte up to the limit was written; the sizes count only whole sectors among them.
    EXPECT_EQ(file.size(), c.limit);
    if (file.size() < Header) {
        return; // the header itself did not fit
    }
    EXPECT_EQ(c.sectors, (file.size() - Header) / Sector);
    ExpectHeader(file, Sector * c.sectors);
    EXPECT_EQ(FirstMismatch(file, c.sectors, PatternFrom(SmallTrackLba)), -1);
    ExpectSoxiAccepts(path, c.sectors);
}

// The writer sends its buffer to the file 262,144 bytes at a time (111.45 sectors) and the rest
// when the file is completed; the track is 302 sectors.
INSTANTIATE_TEST_SUITE_P(
    Limits, ExtractWriteFailure,
    ::testing::Values(
        WriteFailureCase{"InsideASector", Header + Sector * 100 + 1000, "Error writing file", 100},
        WriteFailureCase{"OnASectorBoundary", Header + Sector * 100, "Error writing file", 100},
        WriteFailureCase{"RightBehindTheHeader", Header, "Error writing file", 0},
        WriteFailureCase{"AfterAFullBuffer", Header + 262144, "Error writing file", 111},
        WriteFailureCase{"AtTheLastWrite", Header + Sector * 250 + 7, "Error writing file", 250},
        // Each chunk of the header that does not fit has its own message.
        WriteFailureCase{"InsideTheRiffChunk", 11, "Error creating RIFF chunk", 0},
        WriteFailureCase{"InsideTheFormatChunk", 15, "Error creating fmt chunk", 0},
        WriteFailureCase{"InsideTheFormatRecord", 30, "Error creating data chunk", 0},
        WriteFailureCase{"InsideTheDataChunk", 40, "Error creating data chunk", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Refusals and edge cases

struct RefusalCase {
    const char* name;
    const char* image;
    std::uint8_t trk;
    const char* error;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExtractRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ExtractRefusal, CreatesNoFile)
{
    const RefusalCase& c = GetParam();
    auto rig = ReadRig(test::LoadTestImage(c.image));
    test::TempDir dir;
    const std::string path = dir.File("track.wav");
    const Outcome o = Extract(*rig->disc, c.trk, path);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.error, c.error);
    EXPECT_FALSE(o.exists);
    EXPECT_TRUE(o.changes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, ExtractRefusal,
    ::testing::Values(RefusalCase{"TrackZero", "libcdio/cdda.cue", 0, "Track out of range"},
                      RefusalCase{"PastTheLastTrack", "libcdio/cdda.cue", 2, "Track out of range"},
                      RefusalCase{"PastTrack5OfCdda45", "libcdio/cdda_4_5.cue", 6, "Track out of range"},
                      // Count is the last track number; tracks 1 to 3 of a disc that starts at 4 are none.
                      RefusalCase{"BeforeTheFirstTrack", "libcdio/cdda_4_5.cue", 3, "Invalid mode"},
                      RefusalCase{"DataTrack", "libcdio/isofs-m1.cue", 1, "Invalid mode"},
                      RefusalCase{"DataTrackOfAnEnhancedCd", "whipper/capital.fast.toc", 12, "Invalid mode"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractFile, APathThatCannotBeCreatedIsAnInvalidHandle)
{
    auto rig = ReadRig(test::LoadTestImage("libcdio/cdda.cue", false));
    test::TempDir dir;
    for (const std::string& path : {dir.File("no-such-folder/track.wav"), dir.Path()}) {
        SCOPED_TRACE(path);
        const Outcome o = Extract(*rig->disc, 1, path);
        EXPECT_FALSE(o.result);
        EXPECT_EQ(o.error, "Invalid handle");
        EXPECT_TRUE(o.changes.empty());
    }
    EXPECT_FALSE(fs::exists(dir.File("no-such-folder")));
    EXPECT_TRUE(fs::is_directory(dir.Path()));
}

// A disc whose track 2 has no blocks (two TOC entries at the same address), built by hand.
std::shared_ptr<const emulator::Disc> DiscWithAnEmptyTrack()
{
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "empty track";
    const auto bounds = std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 75}, {75, 75}, {75, 150}};
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        emulator::Track t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.pregapStart = t.start = bounds[i].first;
        t.end = bounds[i].second;
        disc->tracks.push_back(t);
    }
    disc->sessions.push_back(emulator::Session{1, 150, 0x00});
    disc->capacity = 150;
    disc->extents.push_back(emulator::Extent{0, 150, emulator::SectorFormat::Audio,
                                             std::make_shared<emulator::AddressPatternSource>(), 0});
    return disc;
}

TEST(ExtractFile, ATrackWithoutBlocksGivesAnEmptyWav)
{
    auto rig = ReadRig(DiscWithAnEmptyTrack());
    OpticalDisk& d = *rig->disc;
    ASSERT_EQ(d.Count(), 3);
    ASSERT_EQ(d.Track(2)->LogicalBlocks(), 0);
    test::TempDir dir;

    const std::string empty = dir.File("empty.wav");
    const Outcome o = Extract(d, 2, empty);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.error, "");
    EXPECT_TRUE(o.changes.empty());
    ExpectWav(o.file, 0);
    ExpectSoxiAccepts(empty, 0);

    // The track behind it is untouched by its empty neighbour.
    const Outcome next = Extract(d, 3, dir.File("next.wav"));
    EXPECT_TRUE(next.result) << next.error;
    ExpectWav(next.file, 75);
    EXPECT_EQ(FirstMismatch(next.file, 75, PatternFrom(75)), -1);
}

TEST(ExtractFile, AnUnexpectedFailureKeepsTheSectorsWrittenAndTheProvisionalHeader)
{
    test::TempDir dir;
    auto rig = ReadRig(SmallDisc(dir));
    const std::string path = dir.File("track.wav");
    // A failure at the 200th sector, while most of the copy still sits in the writer's buffer.
    std::size_t events = 0;
    rig->disc->SetChangeHandler([&events](std::int32_t, bool&) {
        if (++events == 200) {
            throw std::runtime_error("handler failed");
        }
    });
    EXPECT_FALSE(rig->disc->Extract(2, path));
    EXPECT_EQ(rig->disc->ErrorMessage(), "handler failed");
    const auto file = test::ReadBytes(path);
    ASSERT_EQ(file.size(), FileSize(199));
    EXPECT_EQ(Le32(file, 4), 0u) << "the RIFF size stays provisional";
    EXPECT_EQ(Le32(file, 40), SmallTrackSectors * Sector) << "so does the data size";
    EXPECT_EQ(FirstMismatch(file, 199, PatternFrom(SmallTrackLba)), -1);
}

} // namespace
} // namespace tolvane
