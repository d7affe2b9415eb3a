// tolvane-cli end to end: the real binary, its output, files and exit codes.
#include "support/HttpServer.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tolvane {
namespace {

struct Outcome {
    int status = -1; // exit code, or 128 + signal
    std::string out;
    std::string err;
};

// Runs the CLI with its output to files, so that a long output cannot block it.
class Process {
public:
    Process(const std::vector<std::string>& args, const test::TempDir& dir) : outPath_(dir.File("stdout")),
                                                                            errPath_(dir.File("stderr"))
    {
        std::vector<std::string> argv{TOLVANE_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }

    std::string Out() const { return Read(outPath_); }

    void Signal(int sig) const { kill(pid_, sig); }

    Outcome Wait() const
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        Outcome r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Read(outPath_);
        r.err = Read(errPath_);
        return r;
    }

private:
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
};

// The rips of these tests ask AccurateRip and the CUETools database at a port where nothing
// listens unless a test serves it.
const int Offline = ::setenv("TOLVANE_ACCURATERIP_URL", "http://127.0.0.1:9/", 1) +
                    ::setenv("TOLVANE_CTDB_URL", "http://127.0.0.1:9/", 1) +
                    ::setenv("TOLVANE_OFFSETS_FILE", "/nonexistent/drive-offsets", 1); // not the user's

Outcome Cli(const std::vector<std::string>& args)
{
    const test::TempDir dir;
    return Process(args, dir).Wait();
}

std::string Image(const std::string& relative)
{
    return test::TestDataPath(relative);
}

std::string Text(const std::string& path)
{
    const auto bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool HaveFlacTools()
{
    return test::PeerOutput("command -v flac && command -v metaflac").has_value();
}

// The samples of a FLAC file as the flac tool decodes them, or nothing when it refuses the file.
std::optional<std::string> FlacSamples(const std::string& file)
{
    return test::PeerOutput("flac -d -s -c --force-raw-format --endian=little --sign=signed '" + file + "'");
}

TEST(Cli, InfoJsonGivesThePeersFacts)
{
    struct Case {
        std::string image;
        int count;
        std::vector<std::pair<int, int>> tracks; // number, LBA
        std::string upc;
        std::string cddb;
        std::string mode1;
        std::string musicBrainz; // libdiscid's, in expected-facts.json
    };
    const std::vector<Case> cases{
        // cd-info's goldens (cdda.right, cdda_4_5.right, isofs-m1.right) and expected-facts.json.
        {"libcdio/cdda.cue", 1, {{1, 0}}, "0000010271955", "02000401", "Audio", "BYu.c_jbPYTjSffcaKTHoMgj06w-"},
        {"libcdio/cdda_4_5.cue", 5, {{4, 0}, {5, 150}}, "", "06000402", "Audio", "XhGDBudA9C4i4u8Rud73NZcc4Cc-"},
        {"libcdio/isofs-m1.cue", 1, {{1, 0}}, "0000012101954", "02000401", "Mode 1", ""},
        {"cdrdao/t9.toc", 5, {{1, 375}, {2, 900}, {3, 1605}, {4, 2250}, {5, 3151}}, "0724385356926", "1e002905",
         "Audio", "Vvo8WHi4A48mZvisZ.iVWY_4JAs-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const Outcome r = Cli({"--image", Image(c.image), "info", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["Count"], c.count);
        EXPECT_EQ(j["CD"]["UPC"], c.upc);
        std::string cddb = j["CD"]["CDDB"];
        std::ranges::transform(cddb, cddb.begin(), [](unsigned char ch) { return std::tolower(ch); });
        std::string expected = c.cddb;
        std::ranges::transform(expected, expected.begin(), [](unsigned char ch) { return std::tolower(ch); });
        EXPECT_EQ(cddb, expected);
        ASSERT_EQ(j["Tracks"].size(), c.tracks.size());
        for (std::size_t i = 0; i < c.tracks.size(); ++i) {
            EXPECT_EQ(j["Tracks"][i]["Number"], c.tracks[i].first);
            EXPECT_EQ(j["Tracks"][i]["LBA"], c.tracks[i].second);
        }
        EXPECT_EQ(j["Tracks"][0]["Mode"], c.mode1);
        EXPECT_EQ(j["Drive"]["Letter"], "D:");
        EXPECT_EQ(j["Drive"]["Manufacturer"], "TOLVANE ");
        EXPECT_TRUE(j["CD"]["TotalRawSize"].is_number_integer());
        EXPECT_EQ(j["Identifiers"]["MusicBrainz"], c.musicBrainz);
    }
}

TEST(Cli, ReportIsTheInformationWindowsText)
{
    const test::TempDir dir;
    const std::string file = dir.File("report.txt");
    const Outcome r = Cli({"--image", Image("libcdio/cdda.cue"), "report", file});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(file, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    // cdda.cue: one audio track of 302 blocks, its MCN and CD-Text (cd-info's cdda.right).
    const std::string expected = "Disc Status:                         Complete\r\n"
                                 "Disc Format:                         CD-DA/CD-ROM\r\n"
                                 "Disc Type:                           \r\n"
                                 "Erasable:                            No\r\n"
                                 "Sessions:                            1\r\n"
                                 "CDDB:                                02000401\r\n"
                                 "Serial Number:                       0000-032E\r\n"
                                 "Total Logical Blocks:                302\r\n"
                                 "Total Raw Size:                      618496\r\n"
                                 "Title:                               Join us now we have the software\r\n"
                                 "Artist:                              Richard Stallman\r\n"
                                 "UPC/EAN:                             0000010271955\r\n"
                                 "AccurateRip ID:                      001-0000012e-0000025d-02000401\r\n"
                                 "AccurateRip URL:                     http://www.accuraterip.com/accuraterip/"
                                 "e/2/1/dBAR-001-0000012e-0000025d-02000401.bin\r\n"
                                 "MusicBrainz Disc ID:                 BYu.c_jbPYTjSffcaKTHoMgj06w-\r\n"
                                 "MusicBrainz URL:                     http://musicbrainz.org/cdtoc/attach?"
                                 "id=BYu.c_jbPYTjSffcaKTHoMgj06w-&tracks=1&toc=1+1+452+150\r\n"
                                 "CTDB TOC ID:                         qfi1jXVX7cWDUUKy_0O7YvT4tPE-\r\n";
    EXPECT_EQ(text, expected);
}

TEST(Cli, RipCopiesTheImagesAudioExactly)
{
    const auto bin = test::ReadBytes(Image("libcdio/cdda.bin"));
    const struct {
        std::vector<std::string> mode;
        const char* readMode;
        int shift; // samples the copy starts later than the image, from the read offset correction
    } cases[] = {
        {{"--burst"}, "Burst", 0},
        {{}, "Secure, with C2 error pointers", 0},
        {{"--secure"}, "Secure, with C2 error pointers", 0},
        {{"--secure", "--no-c2"}, "Secure, every sector read twice", 0},
        {{"--secure", "--offset", "6"}, "Secure, with C2 error pointers", 6},
        {{"--secure", "--offset", "-6"}, "Secure, with C2 error pointers", -6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readMode + std::to_string(c.shift));
        const test::TempDir dir;
        std::vector<std::string> args{"--image", Image("libcdio/cdda.cue"), "rip", "--out", dir.Path()};
        args.insert(args.end(), c.mode.begin(), c.mode.end());
        const Outcome r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto wav = test::ReadBytes(dir.File("Track 1.wav"));
        ASSERT_EQ(wav.size(), 44 + bin.size());
        // Samples beyond either end of the disc are silence (the drive does not overread).
        std::vector<std::uint8_t> expected(bin.size(), 0);
        for (std::size_t i = 0; i < bin.size(); ++i) {
            const auto from = static_cast<std::ptrdiff_t>(i) + c.shift * 4;
            if (from >= 0 && from < static_cast<std::ptrdiff_t>(bin.size()))
                expected[i] = bin[static_cast<std::size_t>(from)];
        }
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44));
        const auto logBytes = test::ReadBytes(dir.File("rip.log"));
        const std::string log(logBytes.begin(), logBytes.end());
        EXPECT_NE(log.find(std::string("Read mode:                           ") + c.readMode + "\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("Status:                              no errors\n"), std::string::npos) << log;
        const auto json = nlohmann::json::parse(test::ReadBytes(dir.File("rip.json")));
        EXPECT_EQ(json["ReadOffset"], c.shift);
        EXPECT_EQ(json["SilentSamples"], c.shift == 0 ? 0 : 6);
        EXPECT_EQ(json["Tracks"][0]["CRC32"].get<std::string>().size(), 8u);
    }
}

// A response for cdda_4_5.cue (tracks 4 and 5 of cdda.bin) in AccurateRip's format: one pressing
// with track 4's v2 and a checksum for track 5 that is not the one of its silent counted part.
// The sums printed below are the peers': whipper's accuraterip-checksum of the rip's files (as
// tracks 1 and 2 of 2) and Python's zlib.crc32 of their samples (W/O NULL: of their non-zero
// 16-bit samples).
// One pressing's block of an AccurateRip response: the disc's ids, then per track a confidence,
// the checksum and a (here unused) frame 450 checksum.
std::string Pressing(const std::array<std::uint32_t, 3>& ids, const std::vector<std::uint32_t>& crcs,
                     const std::vector<std::uint8_t>& confidences)
{
    std::string r;
    const auto le32 = [&r](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            r += static_cast<char>(v >> (8 * i));
    };
    r += static_cast<char>(crcs.size());
    for (const std::uint32_t id : ids)
        le32(id);
    for (std::size_t i = 0; i < crcs.size(); ++i) {
        r += static_cast<char>(confidences[std::min(i, confidences.size() - 1)]);
        le32(crcs[i]);
        le32(0);
    }
    return r;
}

std::string ResponseFor45(std::uint32_t track5)
{
    return Pressing({0x000001c4, 0x000004b7, 0x06000402}, {0x3C6EB129, track5}, {3, 5});
}

TEST(Cli, RipAndVerifyReportWhatAccurateRipSays)
{
    const test::TempDir dir;
    const std::string mixed = dir.Write("dBAR-mixed.bin", ResponseFor45(0x12345678));
    const std::string all = dir.Write("dBAR-all.bin", ResponseFor45(0));
    const std::string cdda45 = Image("libcdio/cdda_4_5.cue");
    const Outcome rip = Cli({"--image", cdda45, "rip", "--out", dir.Path(), "--accuraterip-file", mixed});
    EXPECT_EQ(rip.status, 0) << rip.err; // a mismatch leaves the rip as it is
    EXPECT_NE(rip.out.find("AccurateRip: dBAR-002-000001c4-000004b7-06000402.bin\n"
                           "Track  4: accurately ripped (confidence 3) [v2]\n"
                           "Track  5: mismatch\n"
                           "AccurateRip: 1 of 2 tracks accurately ripped\n"),
              std::string::npos)
        << rip.out;

    // A drive without C2: a track the database confirms is read once, the other twice; the files
    // are the same.
    const test::TempDir noC2;
    const Outcome once = Cli({"--image", cdda45, "rip", "--no-c2", "--out", noC2.Path(), "--accuraterip-file", mixed});
    EXPECT_EQ(once.status, 0) << once.err;
    EXPECT_NE(once.out.find("Track  4: read once, confirmed by AccurateRip\n"), std::string::npos) << once.out;
    EXPECT_NE(once.out.find("Track  5: one read is not AccurateRip's: reading it again securely\n"), std::string::npos);
    for (const char* file : {"Track 4.wav", "Track 5.wav"})
        EXPECT_EQ(test::ReadBytes(noC2.File(file)), test::ReadBytes(dir.File(file))) << file;
    EXPECT_NE(Text(noC2.File("rip.log")).find("Secure, read once where AccurateRip confirms the track, else twice"),
              std::string::npos);

    // The files of the rip, of a sheet naming them and the image's own audio: the same verdicts.
    const std::string sheet = dir.Write("rip.cue", "FILE \"Track 4.wav\" WAVE\n  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n"
                                                   "FILE \"Track 5.wav\" WAVE\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n");
    const std::vector<std::vector<std::string>> checks{{"--image", cdda45, "verify", dir.Path()},
                                                       {"verify", "--cue", sheet},
                                                       {"--image", cdda45, "verify"}};
    for (const auto& args : checks) {
        SCOPED_TRACE(args[1]);
        auto with = args;
        with.insert(with.end(), {"--accuraterip-file", all});
        const Outcome r = Cli(with);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Track  4: AccurateRip v1 2ED9AF4E, v2 3C6EB129; CRC32 CC5C0E2F, W/O NULL 9C04F33B\n"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Track  5: AccurateRip v1 00000000, v2 00000000; CRC32 0F8E262C, W/O NULL 00000000\n"), std::string::npos);
        EXPECT_NE(r.out.find("Track  5: accurately ripped (confidence 5) [v2]\nAccurateRip: all 2 tracks accurately "
                             "ripped\n"),
                  std::string::npos)
            << r.out;
        with.back() = mixed;
        EXPECT_EQ(Cli(with).status, 1);
    }
    const Outcome missing = Cli({"--image", cdda45, "verify", dir.Path(), "--accuraterip-file", "/nonexistent/r.bin"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("AccurateRip: not checked: /nonexistent/r.bin: No such file or directory"),
              std::string::npos) << missing.out;
}

TEST(Cli, RipAsksTheDatabaseOnceAndSucceedsWithoutIt)
{
    test::HttpServer server;
    const auto path = "/accuraterip/e/2/1/dBAR-001-0000012e-0000025d-02000401.bin";
    const test::TempDir dir;
    const std::vector<std::string> rip{"--image", Image("libcdio/cdda.cue"), "rip", "--out", dir.Path()};
    const struct {
        const char* name;
        test::HttpServer::Answer answer;
        const char* says;
    } cases[] = {
        {"unknown disc", {404, "", ""}, "Track  1: not present in database\nAccurateRip: the disc is not in the database\n"},
        {"error page", {200, "<html>Busy</html>", ""},
         "AccurateRip: not checked: the response is truncated or not an AccurateRip response\n"},
    };
    ::setenv("TOLVANE_ACCURATERIP_URL", (server.Url() + "accuraterip").c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve(path, c.answer);
        const std::size_t before = server.Requests().size();
        const Outcome r = Cli(rip);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        ASSERT_EQ(server.Requests().size(), before + 1);
        EXPECT_EQ(server.Requests().back().path, path);
    }
    ::setenv("TOLVANE_ACCURATERIP_URL", "http://127.0.0.1:9/", 1);
    const Outcome offline = Cli(rip);
    EXPECT_EQ(offline.status, 0);
    EXPECT_NE(offline.out.find("AccurateRip: not checked: "), std::string::npos) << offline.out;
    EXPECT_EQ(Cli({"--image", Image("libcdio/cdda.cue"), "rip", "--no-verify", "--out", dir.Path()}).out.find("AccurateRip:"),
              std::string::npos);
}

TEST(Cli, TheCuetoolsDatabaseIsASecondOpinion)
{
    // Two submissions for cdda_4_5.cue; the CRCs of the first are Python's zlib.crc32 of the rip's
    // samples without the first track's first ten sectors and the last's last twelve.
    test::HttpServer server;
    server.Serve("/ctdb/lookup2.php?version=3&ctdb=1&toc=0:150:302",
                 {200, R"(<?xml version="1.0" encoding="UTF-8"?><ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#">
  <entry confidence="3" crc32="386e831d" id="1" trackcrcs="5b16710a 575c2a2d" toc="0:150:302" />
  <entry confidence="2" crc32="11111111" id="2" trackcrcs="5b16710a 00000001" toc="0:150:302" /></ctdb>)",
                  ""});
    ::setenv("TOLVANE_ACCURATERIP_URL", (server.Url() + "ar").c_str(), 1); // 404: not in AccurateRip
    ::setenv("TOLVANE_CTDB_URL", (server.Url() + "ctdb").c_str(), 1);
    const test::TempDir dir;
    const std::string cdda45 = Image("libcdio/cdda_4_5.cue");
    for (const auto& args : {std::vector<std::string>{"--image", cdda45, "rip", "--out", dir.Path()},
                             std::vector<std::string>{"--image", cdda45, "verify", dir.Path()}}) {
        SCOPED_TRACE(args[2]);
        const Outcome r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("AccurateRip: the disc is not in the database\nCTDB: Cd.o1azz41Dmmiv0T8Qb2RFAmUc-\n"
                             "Track  4: CTDB accurately ripped (confidence 5 of 5)\n"
                             "Track  5: CTDB accurately ripped (confidence 3 of 5)\n"
                             "CTDB: disc accurately ripped (confidence 3 of 5)\n"),
                  std::string::npos)
            << r.out;
    }
    const Outcome one = Cli({"--image", cdda45, "verify", dir.Path(), "--tracks", "5"});
    EXPECT_NE(one.out.find("Track  5: CTDB accurately ripped (confidence 3 of 5)\nCTDB: 1 of 1 tracks"), std::string::npos)
        << one.out;
    ::setenv("TOLVANE_ACCURATERIP_URL", "http://127.0.0.1:9/", 1);
    ::setenv("TOLVANE_CTDB_URL", "http://127.0.0.1:9/", 1);
}

TEST(Cli, MusicBrainzNamesTheFilesWhenAsked)
{
    test::HttpServer server;
    const std::string lookup = "/ws/2/discid/XhGDBudA9C4i4u8Rud73NZcc4Cc-?inc=recordings+artist-credits&fmt=json";
    server.Serve(lookup, {200, R"({"releases": [{"title": "Join Us", "artist-credit": [{"name": "Richard"}],
        "media": [{"discs": [{"id": "XhGDBudA9C4i4u8Rud73NZcc4Cc-"}],
                   "tracks": [{"position": 1, "title": "Free: Software?"}, {"position": 2, "title": "Hackers"}]}]}]})",
                          ""});
    ::setenv("TOLVANE_MUSICBRAINZ_URL", (server.Url() + "ws/2").c_str(), 1);
    const test::TempDir dir;
    const std::string cdda45 = Image("libcdio/cdda_4_5.cue");
    const Outcome rip = Cli({"--image", cdda45, "rip", "--metadata", "musicbrainz", "--no-verify", "--out", dir.Path()});
    EXPECT_EQ(rip.status, 0) << rip.err;
    // Tracks 4 and 5 are the first and second of the release's medium.
    EXPECT_TRUE(std::filesystem::exists(dir.File("04 - Free_ Software_.wav"))) << rip.out;
    EXPECT_TRUE(std::filesystem::exists(dir.File("05 - Hackers.wav")));
    EXPECT_NE(Cli({"--image", cdda45, "verify", dir.Path()}).out.find("Track  4: AccurateRip v1 2ED9AF4E"),
              std::string::npos) << "verify finds the files by their numbers";
    const Outcome info = Cli({"--image", cdda45, "info", "--json", "--metadata", "musicbrainz"});
    const auto j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["MusicBrainz"]["Album"], "Join Us");
    EXPECT_EQ(j["MusicBrainz"]["Tracks"][1]["Number"], 5);
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0].path, lookup);

    // The release's texts tag a FLAC rip and fill a template.
    const test::TempDir flacDir;
    const Outcome flac = Cli({"--image", cdda45, "rip", "--metadata", "musicbrainz", "--format", "flac", "--name", "%n %t (%A)",
                              "--no-verify", "--out", flacDir.Path()});
    EXPECT_EQ(flac.status, 0) << flac.err;
    EXPECT_TRUE(std::filesystem::exists(flacDir.File("4 Free_ Software_ (Richard).flac"))) << flac.out;
    const std::string hackers = flacDir.File("5 Hackers (Richard).flac");
    EXPECT_TRUE(std::filesystem::exists(hackers));
    EXPECT_NE(Text(flacDir.File("rip.cue")).find("TITLE \"Hackers\""), std::string::npos);
    if (HaveFlacTools()) {
        EXPECT_EQ(test::PeerOutput("metaflac --export-tags-to=- '" + hackers + "'"),
                  "TITLE=Hackers\nARTIST=Richard\nALBUM=Join Us\nALBUMARTIST=Richard\nTRACKNUMBER=5\nTRACKTOTAL=5\n"
                  "DISCID=06000402\nMUSICBRAINZ_DISCID=XhGDBudA9C4i4u8Rud73NZcc4Cc-\n");
    }
    EXPECT_EQ(nlohmann::json::parse(test::ReadBytes(flacDir.File("rip.json")))["Format"], "FLAC");

    // A disc MusicBrainz does not know keeps the usual names, and says so.
    const Outcome unknown = Cli({"--image", Image("libcdio/cdda.cue"), "rip", "--metadata", "musicbrainz", "--no-verify",
                                 "--out", dir.Path()});
    EXPECT_EQ(unknown.status, 0);
    EXPECT_NE(unknown.err.find("MusicBrainz: the disc BYu.c_jbPYTjSffcaKTHoMgj06w- is not in the database"),
              std::string::npos)
        << unknown.err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("Track 1.wav")));
    ::unsetenv("TOLVANE_MUSICBRAINZ_URL");
}

TEST(Cli, DrivesAreHeadedLikeTheDeviceDialogsColumns)
{
    const Outcome r = Cli({"--demo", "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "Letter  Name              Revision  Manufacturer  Interface  Read max/cur  Write max/cur");
    EXPECT_NE(r.out.find("D:      VIRTUAL DRIVE     1.0       TOLVANE       SPTI       40x / 40x     0x / 0x"),
              std::string::npos)
        << r.out;
}

TEST(Cli, FailuresHaveTheirMessagesAndExitCodes)
{
    const test::TempDir dir;
    const std::string blocker = dir.Write("a-file", "not a folder");
    // "Track 1.wav" is a folder here, so the track's file cannot be created.
    const std::string occupied = dir.Path() + "/occupied";
    std::filesystem::create_directories(occupied + "/Track 1.wav");
    const std::string binary = dir.Write("binary.cue", std::string("\x01\x02\xC3\xA9\xFF rest\n", 10));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--empty", "info"}, 1, "Media not present"},
        {{"--image", Image("libcdio/isofs-m1.cue"), "rip", "--tracks", "1", "--out", dir.Path()},
         1,
         "Track is not in audio mode"},
        // A folder that cannot be used, and a file that cannot be made: the window's text.
        {{"--image", Image("libcdio/cdda.cue"), "rip", "--out", blocker + "/sub"}, 1, "Error accessing drive"},
        {{"--image", Image("libcdio/cdda.cue"), "rip", "--out", occupied}, 1, "Track 1: Error accessing drive\n"},
        {{"--verbose", "--image", Image("libcdio/cdda.cue"), "rip", "--out", occupied}, 1, "  (Invalid handle)\n"},
        // A sheet that is no text: what it quotes reaches the terminal escaped.
        {{"--image", binary, "info"}, 1, "binary.cue:1: unknown keyword \\x01\\x02é\\xFF"},
        {{"--image", Image("libcdio/bad/bad-cat1.cue"), "info"}, 1, "bad-cat1.cue:"},
        {{"--image", Image("libcdio/isofs-m1.cue"), "rip", "--tracks", "1-x"}, 2, "--tracks"},
        {{"--demo", "--drive", "Q", "info"}, 2, "no drive Q:"},
        {{"--demo", "frobnicate"}, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const Outcome r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(std::ranges::none_of(r.err, [](char ch) { return ch != '\n' && ch >= 0 && ch < 0x20; }))
            << "a control character in: " << r.err;
        // The disc object's reason comes only with --verbose.
        if (c.args.front() != "--verbose") {
            EXPECT_EQ(r.err.find("Invalid handle"), std::string::npos) << r.err;
        }
    }
    // Without any drive the program says so (a build machine has no optical drive).
    if (access("/dev/sr0", F_OK) != 0) {
        const Outcome none = Cli({"info"});
        EXPECT_EQ(none.status, 1);
        EXPECT_NE(none.err.find("No CD/DVD drives found or ASPI/SPTI not available"), std::string::npos);
    }
}

// The demo CD on a drive with a read offset and a cache, scratched three ways: a secure rip gives
// the clean copy's bytes wherever a read came right, and names the blocks no read did.
TEST(Cli, ASecureRipOfTheScratchedDemoDiscIsExactOrNamesTheBlocks)
{
    const test::TempDir clean;
    ASSERT_EQ(Cli({"--demo", "rip", "--tracks", "1,2", "--out", clean.Path()}).status, 0);
    const test::TempDir dir;
    const Outcome r = Cli({"--demo", "--virtual-read", "offset=+6,cache=1024", "--virtual-damage", "1000+20",
                           "--virtual-damage", "2000+5:same", "--virtual-damage", "3000+10:lost", "rip", "--secure",
                           "--offset", "6", "--tracks", "1,2", "--out", dir.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(dir.File("Track 1.wav")), test::ReadBytes(clean.File("Track 1.wav")));
    // Track 2 starts at block 2400: its blocks 3000-3009 may differ, nothing else.
    const auto got = test::ReadBytes(dir.File("Track 2.wav"));
    const auto want = test::ReadBytes(clean.File("Track 2.wav"));
    ASSERT_EQ(got.size(), want.size());
    const std::size_t lost = 44 + 600 * 2352;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + lost, want.begin()));
    EXPECT_TRUE(std::equal(got.begin() + lost + 10 * 2352, got.end(), want.begin() + lost + 10 * 2352));
    EXPECT_FALSE(std::equal(got.begin() + lost, got.begin() + lost + 10 * 2352, want.begin() + lost));
    const auto json = nlohmann::json::parse(test::ReadBytes(dir.File("rip.json")));
    EXPECT_EQ(json["Tracks"][0]["Suspicious"].size(), 0u);
    EXPECT_EQ(json["Tracks"][1]["Suspicious"].get<std::vector<std::int32_t>>(),
              (std::vector<std::int32_t>{3000, 3001, 3002, 3003, 3004, 3005, 3006, 3007, 3008, 3009}));
    EXPECT_GT(json["Tracks"][0]["SectorsReadAgain"].get<int>(), 0);
    EXPECT_NE(r.out.find("Track  2: suspicious block 3009 (00:08.09 into the track)"), std::string::npos) << r.out;
}

// A disc with audio before its first track and a pregap before its second: the secure rip
// copies the hidden audio as track 0, puts both gaps into rip.cue and the log, takes the drive's
// offset from the user's table, and test & copy tells a copy whose two reads differ.
TEST(Cli, SecureRipsFindGapsAndHiddenAudioAndTestTheirCopies)
{
    const test::TempDir image;
    std::vector<std::uint8_t> bin(450 * 2352);
    std::uint32_t x = 7;
    for (auto& b : bin) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    image.Write("noise.bin", bin);
    const std::string cue = image.Write("noise.cue", "FILE \"noise.bin\" BINARY\n"
                                                      "  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n"
                                                      "  TRACK 02 AUDIO\n    INDEX 00 00:03:00\n    INDEX 01 00:04:00\n");
    const std::string table = image.Write("offsets", "TOLVANE | VIRTUAL DRIVE | +6\n");
    ::setenv("TOLVANE_OFFSETS_FILE", table.c_str(), 1);
    const test::TempDir dir;
    const Outcome r = Cli({"--image", cue, "--virtual-read", "offset=+6", "rip", "--out", dir.Path()});
    ::setenv("TOLVANE_OFFSETS_FILE", "/nonexistent/drive-offsets", 1);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Track  0: 00:02.00 of hidden audio before track 1"), std::string::npos) << r.out;
    // Corrected by the table's +6, every file is the image's bytes (but the last 6 samples, past
    // the disc's end).
    const auto hidden = test::ReadBytes(dir.File("Track 0.wav"));
    ASSERT_EQ(hidden.size(), 44 + 150 * 2352u);
    EXPECT_TRUE(std::equal(hidden.begin() + 44, hidden.end(), bin.begin()));
    const auto one = test::ReadBytes(dir.File("Track 1.wav"));
    ASSERT_EQ(one.size(), 44 + 150 * 2352u);
    EXPECT_TRUE(std::equal(one.begin() + 44, one.end(), bin.begin() + 150 * 2352));
    const std::string sheet = Text(dir.File("rip.cue"));
    EXPECT_NE(sheet.find("FILE \"Track 0.wav\" WAVE\n  TRACK 01 AUDIO\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("    INDEX 00 00:01:00\nFILE \"Track 2.wav\" WAVE\n    INDEX 01 00:00:00\n"),
              std::string::npos)
        << sheet;
    const std::string log = Text(dir.File("rip.log"));
    EXPECT_NE(log.find("Read offset correction:              +6 (from " + table + ")\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Track  2\n  File:                              Track 2.wav\n  Range:                             "
                       "blocks 300-449 (00:02.00)\n  Pregap:                            00:01.00\n"),
              std::string::npos)
        << log;
    // Our own cue loader plays the sheet as the disc it came from.
    const Outcome played = Cli({"--image", dir.File("rip.cue"), "info", "--json"});
    ASSERT_EQ(played.status, 0) << played.err;
    const auto facts = nlohmann::json::parse(played.out);
    EXPECT_EQ(facts["Tracks"][0]["LBA"], 150);
    EXPECT_EQ(facts["Tracks"][1]["LBA"], 300);

    // A scratch that reads differently each time: the burst test and copy disagree, and say so.
    const test::TempDir tested;
    const Outcome t = Cli({"--image", cue, "--virtual-damage", "320+5", "rip", "--burst", "--test", "--tracks", "2",
                           "--out", tested.Path()});
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_NE(t.out.find("copy CRC"), std::string::npos);
    EXPECT_NE(t.out.find(": DIFFERENT"), std::string::npos) << t.out;
    EXPECT_NE(Text(tested.File("rip.log")).find("Status:                              test and copy CRCs differ on 1 of 1 tracks\n"),
              std::string::npos);
}

// The demo CD on a drive with an offset of +667, against a database answer holding the clean
// copy's checksums: `offset` finds the drive's offset and keeps it, and the next rip uses it.
TEST(Cli, OffsetIsFoundFromTheDatabaseAndKeptForTheNextRip)
{
    const test::TempDir clean;
    const Outcome c = Cli({"--demo", "rip", "--burst", "--out", clean.Path()});
    ASSERT_EQ(c.status, 0) << c.err;
    std::vector<std::uint32_t> crcs;
    for (int n = 1; n <= 6; ++n) {
        const std::string head = "Track  " + std::to_string(n) + ": AccurateRip v1 ";
        const std::size_t at = c.out.find(head);
        ASSERT_NE(at, std::string::npos) << c.out;
        crcs.push_back(static_cast<std::uint32_t>(std::stoul(c.out.substr(at + head.size(), 8), nullptr, 16)));
    }
    const std::string response = Pressing({0x0000bcac, 0x0003eb6c, 0x3300b606}, crcs, {9});
    const test::TempDir dir;
    const std::string answer = dir.Write("dBAR-006-0000bcac-0003eb6c-3300b606.bin", response);
    const std::string table = dir.File("config/drive-offsets");
    ::setenv("TOLVANE_OFFSETS_FILE", table.c_str(), 1);
    const Outcome found = Cli({"--demo", "--virtual-read", "offset=+667", "offset", "--save", "--accuraterip-file",
                               answer});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find("Read offset: +667 (3 of 3 tracks agree)\n"), std::string::npos) << found.out;
    EXPECT_EQ(Text(table).find("TOLVANE | VIRTUAL DRIVE | +667\n"), Text(table).find('\n') + 1) << Text(table);
    const test::TempDir ripped;
    const Outcome r = Cli({"--demo", "--virtual-read", "offset=+667", "rip", "--accuraterip-file", answer, "--out",
                           ripped.Path()});
    ::setenv("TOLVANE_OFFSETS_FILE", "/nonexistent/drive-offsets", 1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("AccurateRip: all 6 tracks accurately ripped"), std::string::npos) << r.out;

    // A drive beyond any offset the database's checksums can be found at.
    const Outcome none = Cli({"--demo", "--virtual-read", "offset=+4000", "offset", "--accuraterip-file", answer});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("No read offset within 2940 samples matches AccurateRip"), std::string::npos) << none.err;
}

TEST(Cli, InterruptCancelsTheTrackAndLeavesAValidFile)
{
    // A long silent image: a sparse file costs no disk space.
    const test::TempDir dir;
    const std::string bin = dir.File("long.bin");
    {
        std::ofstream out(bin, std::ios::binary);
    }
    ASSERT_EQ(truncate(bin.c_str(), 2352LL * 300000), 0);
    const std::string cue = dir.Write("long.cue", "FILE \"long.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    for (const std::vector<std::string>& how : {std::vector<std::string>{"--format", "wav"},
                                                std::vector<std::string>{"--format", "flac"},
                                                std::vector<std::string>{"--format", "flac", "--secure"}}) {
        SCOPED_TRACE(how.back());
        const test::TempDir out;
        std::vector<std::string> args{"--image", cue, "rip", "--out", out.Path()};
        args.insert(args.end(), how.begin(), how.end());
        const Process p(args, out);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (p.Out().find("extracting") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        p.Signal(SIGINT);
        const Outcome r = p.Wait();
        EXPECT_EQ(r.status, 130) << r.out << r.err;
        EXPECT_EQ(r.err, "Track extraction cancelled\n");
        EXPECT_NE(Text(out.File("rip.log")).find("Status:                              cancelled\n"), std::string::npos);
        const auto json = nlohmann::json::parse(test::ReadBytes(out.File("rip.json")));
        EXPECT_EQ(json["Cancelled"], true);
        EXPECT_EQ(json["Tracks"][0]["Copied"], false);
        EXPECT_FALSE(std::filesystem::exists(out.File("rip.cue"))) << "no track was copied whole";
        if (how[1] == "flac") {
            const std::string flac = out.File("Track 1.flac");
            if (HaveFlacTools()) {
                EXPECT_TRUE(test::PeerOutput("flac -t -s '" + flac + "'")) << "not a valid FLAC file";
                const auto samples = FlacSamples(flac);
                ASSERT_TRUE(samples);
                EXPECT_LT(samples->size(), 2352ULL * 300000) << "cancelled before the end";
            }
            continue;
        }
        const auto wav = test::ReadBytes(out.File("Track 1.wav"));
        ASSERT_GE(wav.size(), 44u);
        const auto le32 = [&wav](std::size_t at) {
            return std::uint32_t{wav[at]} | std::uint32_t{wav[at + 1]} << 8 | std::uint32_t{wav[at + 2]} << 16 |
                   std::uint32_t{wav[at + 3]} << 24;
        };
        EXPECT_EQ(le32(40), wav.size() - 44) << "the data size is what the file holds";
        EXPECT_EQ(le32(4), wav.size() - 8);
        EXPECT_EQ((wav.size() - 44) % 2352, 0u);
        EXPECT_LT(wav.size(), 44 + 2352ULL * 300000) << "cancelled before the end";
    }
}

TEST(Cli, FlacRipsHoldTheWavRipsSamplesAndTheDiscsTags)
{
    if (!HaveFlacTools())
        GTEST_SKIP() << "flac and metaflac (Debian package flac) are not installed";
    const std::string cdda = Image("libcdio/cdda.cue");
    const test::TempDir wavDir;
    ASSERT_EQ(Cli({"--image", cdda, "rip", "--out", wavDir.Path()}).status, 0);
    const auto wav = test::ReadBytes(wavDir.File("Track 1.wav"));
    const auto wavJson = nlohmann::json::parse(test::ReadBytes(wavDir.File("rip.json")));
    for (const char* mode : {"--burst", "--secure"}) {
        SCOPED_TRACE(mode);
        const test::TempDir dir;
        const Outcome r = Cli({"--image", cdda, "rip", "--format", "flac", mode, "--out", dir.Path()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string flac = dir.File("Track 1.flac");
        EXPECT_TRUE(test::PeerOutput("flac -t -s '" + flac + "'")) << "flac -t failed";
        const auto samples = FlacSamples(flac);
        ASSERT_TRUE(samples);
        ASSERT_EQ(samples->size() + 44, wav.size());
        EXPECT_TRUE(std::equal(samples->begin(), samples->end(), wav.begin() + 44, [](char a, std::uint8_t b) {
            return static_cast<std::uint8_t>(a) == b;
        }));
        // The checksums are of the samples as they went into the file: the WAV rip's.
        const auto json = nlohmann::json::parse(test::ReadBytes(dir.File("rip.json")));
        EXPECT_EQ(json["Tracks"][0]["File"], "Track 1.flac");
        EXPECT_EQ(json["Tracks"][0]["CRC32"], wavJson["Tracks"][0]["CRC32"]);
        EXPECT_EQ(json["Tracks"][0]["AccurateRipV2"], wavJson["Tracks"][0]["AccurateRipV2"]);
        // cdda.cue's CD-Text, its CDDB id (cd-info's cdda.right) and libdiscid's id.
        EXPECT_EQ(test::PeerOutput("metaflac --export-tags-to=- '" + flac + "'"),
                  "TITLE=Soft\nARTIST=Richard S\nALBUM=Join us now we have the software\nALBUMARTIST=Richard Stallman\n"
                  "TRACKNUMBER=1\nTRACKTOTAL=1\nDISCID=02000401\nMUSICBRAINZ_DISCID=BYu.c_jbPYTjSffcaKTHoMgj06w-\n");
    }
}

TEST(Cli, FlacRipsVerifyFromTheirFolderAndTheirSheet)
{
    const test::TempDir dir;
    const std::string all = dir.Write("dBAR-all.bin", ResponseFor45(0));
    const std::string cdda45 = Image("libcdio/cdda_4_5.cue");
    const test::TempDir out;
    ASSERT_EQ(Cli({"--image", cdda45, "rip", "--format", "flac", "--name", "%N %n", "--out", out.Path()}).status, 0);
    ASSERT_TRUE(std::filesystem::exists(out.File("04 4.flac")));
    // The folder's files are found through rip.cue, the sheet plays them in a virtual drive.
    for (const auto& args : {std::vector<std::string>{"--image", cdda45, "verify", out.Path()},
                             std::vector<std::string>{"verify", "--cue", out.File("rip.cue")}}) {
        SCOPED_TRACE(args[1]);
        auto with = args;
        with.insert(with.end(), {"--accuraterip-file", all});
        const Outcome r = Cli(with);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Track  4: AccurateRip v1 2ED9AF4E, v2 3C6EB129; CRC32 CC5C0E2F, W/O NULL 9C04F33B\n"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("AccurateRip: all 2 tracks accurately ripped\n"), std::string::npos) << r.out;
    }
    // A file damaged after the rip fails its check instead of being summed as it reads.
    auto bytes = test::ReadBytes(out.File("05 5.flac"));
    bytes[bytes.size() - 100] ^= 0x40;
    out.Write("05 5.flac", bytes);
    const Outcome damaged = Cli({"--image", cdda45, "verify", out.Path(), "--accuraterip-file", all});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find("Track 5: " + out.File("05 5.flac") + ": "), std::string::npos) << damaged.err;
}

TEST(Cli, TheRipsSheetPlaysBackAsTheDisc)
{
    struct Case {
        std::vector<std::string> disc;
        std::vector<std::string> rip; // further options
        std::vector<std::string> files;
    };
    const std::vector<Case> cases{
        // Its first track starts at 375: the sheet gives the five seconds before it as PREGAP.
        {{"--image", Image("cdrdao/t9.toc")}, {"--format", "flac"},
         {"Track 1.flac", "Track 2.flac", "Track 3.flac", "Track 4.flac", "Track 5.flac"}},
        {{"--demo"}, {"--name", "%N - %t"},
         {"01 - Caf\xC3\xA9 au Lait.wav", "02 - Se\xC3\xB1" "al del Mar.wav", "03 - \xC3\x86r\xC3\xB8 Harbour Lights.wav",
          "04 - \xC3\x9C" "ber die H\xC3\xBCgel.wav", "05 - R\xC3\xAAverie Bor\xC3\xA9" "ale.wav",
          "06 - Sm\xC3\xB6rg\xC3\xA5sbord Finale.wav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disc.back());
        const test::TempDir dir;
        auto rip = c.disc;
        rip.insert(rip.end(), {"rip", "--out", dir.Path()});
        rip.insert(rip.end(), c.rip.begin(), c.rip.end());
        const Outcome r = Cli(rip);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string sheet = Text(dir.File("rip.cue"));
        for (const std::string& file : c.files) {
            EXPECT_TRUE(std::filesystem::exists(dir.File(file))) << file;
            EXPECT_NE(sheet.find("FILE \"" + file + "\" WAVE\n"), std::string::npos) << sheet;
        }
        auto info = c.disc;
        info.insert(info.end(), {"info", "--json"});
        const auto disc = nlohmann::json::parse(Cli(info).out);
        const Outcome played = Cli({"--image", dir.File("rip.cue"), "info", "--json"});
        ASSERT_EQ(played.status, 0) << played.err;
        const auto copy = nlohmann::json::parse(played.out);
        EXPECT_EQ(copy["Tracks"], disc["Tracks"]) << "numbers, addresses, lengths, flags, ISRCs and CD-Text";
        for (const char* fact : {"UPC", "CDDB"})
            EXPECT_EQ(copy["CD"][fact], disc["CD"][fact]) << fact;
        EXPECT_EQ(copy["CDText"], disc["CDText"]);
        EXPECT_EQ(copy["Identifiers"]["AccurateRip"], disc["Identifiers"]["AccurateRip"]);

        // libcdio's image driver reads the statements of the sheet (it wants an image named like
        // the sheet beside it, and places every file's track at its start, so only the facts that
        // do not depend on addresses are compared).
        dir.Write("rip.bin", std::vector<std::uint8_t>(2352, 0));
        const auto cdInfo = test::PeerOutput("cd '" + dir.Path() + "' && cd-info --no-device-info --no-cddb --cue-file rip.cue");
        if (!cdInfo)
            continue;
        if (!disc["CD"]["UPC"].get<std::string>().empty()) {
            EXPECT_NE(cdInfo->find("Media Catalog Number (MCN): " + disc["CD"]["UPC"].get<std::string>()), std::string::npos)
                << *cdInfo;
        }
        for (const auto& track : disc["Tracks"]) {
            const int n = track["Number"];
            char start[8];
            std::snprintf(start, sizeof start, "%3d: ", n);
            const std::size_t at = cdInfo->find(start);
            ASSERT_NE(at, std::string::npos) << *cdInfo;
            const std::string line = cdInfo->substr(at, cdInfo->find('\n', at) - at);
            // "  1: 00:02:00  000000 audio  false  yes   2        no": copy permitted, then pre-emphasis.
            std::vector<std::string> words;
            for (std::size_t i = 0; i < line.size();) {
                const std::size_t end = std::min(line.find(' ', i), line.size());
                if (end > i)
                    words.push_back(line.substr(i, end - i));
                i = end + 1;
            }
            ASSERT_EQ(words.size(), 8u) << line;
            EXPECT_EQ(words[5], track["DigitalCopy"] ? "yes" : "no") << line;
            EXPECT_EQ(words[7], track["Preemphasis2"] ? "yes" : "no") << line;
        }
    }
}

TEST(Cli, TemplatedNamesStayDistinctAndTheSheetListsOnlyWhatWasRipped)
{
    const test::TempDir dir;
    // Every track would be named after the album.
    const Outcome r = Cli({"--demo", "rip", "--name", "%T", "--tracks", "2,4", "--no-verify", "--out", dir.Path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> files{"Tolvane Demo.wav", "Tolvane Demo (4).wav"};
    const std::string sheet = Text(dir.File("rip.cue"));
    for (const std::string& file : files) {
        EXPECT_TRUE(std::filesystem::exists(dir.File(file))) << file;
        EXPECT_NE(sheet.find("FILE \"" + file + "\" WAVE\n"), std::string::npos) << sheet;
    }
    EXPECT_EQ(sheet.find("TRACK 01"), std::string::npos) << sheet;
    EXPECT_EQ(sheet.find("TRACK 03"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("TRACK 04"), std::string::npos) << sheet;
    // verify finds the files through the sheet: the same sums as the rip printed.
    const Outcome v = Cli({"--demo", "verify", dir.Path(), "--tracks", "2,4"});
    for (const int n : {2, 4}) {
        const std::string prefix = "Track  " + std::to_string(n) + ": AccurateRip v1 ";
        const std::size_t ripped = r.out.find(prefix);
        const std::size_t checked = v.out.find(prefix);
        ASSERT_NE(ripped, std::string::npos) << r.out;
        ASSERT_NE(checked, std::string::npos) << v.out << v.err;
        EXPECT_EQ(r.out.substr(ripped, r.out.find('\n', ripped) - ripped), v.out.substr(checked, v.out.find('\n', checked) - checked));
    }
}

} // namespace
} // namespace tolvane
