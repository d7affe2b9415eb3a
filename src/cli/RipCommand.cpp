// rip and verify: tracks copied to files with their checksums, and the databases' word on them.
#include "cli/CommandSupport.h"
#include "cli/Options.h"
#include "disc/Checksums.h"
#include "disc/TrackTable.h"
#include "disc/WavReader.h"
#include "disc/WavWriter.h"
#include "net/Databases.h"
#include "rip/RipLog.h"
#include "rip/SecureReader.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>

namespace tolvane::cli {

namespace {

std::string Clock(double seconds)
{
    const auto s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// Progress of one track: redrawn in place on a terminal, a line per track elsewhere.
class Progress {
public:
    Progress(int track, std::int32_t sectors)
        : track_(track), total_(std::int64_t{sectors} * 2352), terminal_(isatty(STDOUT_FILENO) != 0),
          start_(std::chrono::steady_clock::now())
    {
        // Scripts reading a pipe see when each track starts, not only when it ends.
        if (!terminal_) {
            std::printf("Track %2d: extracting\n", track_);
            std::fflush(stdout);
        }
    }

    void Update(std::int32_t extractedBytes)
    {
        done_ = extractedBytes - 44;
        if (!terminal_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100) && done_ < total_) {
            return;
        }
        lastDraw_ = now;
        const double elapsed = Seconds(now);
        const double rate = elapsed > 0 ? done_ / elapsed : 0; // bytes per second
        const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
        std::printf("\rTrack %2d: %3d%%  %5.1fx  %s left   ", track_,
                    total_ > 0 ? static_cast<int>(done_ * 100 / total_) : 100, rate / 176400.0,
                    Clock(left).c_str());
        std::fflush(stdout);
    }

    void Finish(const std::string& file, const char* outcome)
    {
        const double elapsed = Seconds(std::chrono::steady_clock::now());
        const double speed = elapsed > 0 ? done_ / elapsed / 176400.0 : 0;
        if (terminal_) {
            std::printf("\r\033[K");
        }
        std::printf("Track %2d: %s %s (%.1f MB, %.1fx)\n", track_, outcome, file.c_str(), done_ / 1e6, speed);
        std::fflush(stdout);
    }

private:
    double Seconds(std::chrono::steady_clock::time_point now) const
    {
        return std::chrono::duration<double>(now - start_).count();
    }

    int track_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// A title as a file name: the characters file systems refuse, and control characters, become '_'.
std::string SafeName(const std::string& text)
{
    std::string name;
    for (const unsigned char c : text) {
        name +=
            c < 0x20 || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos
                ? '_'
                : static_cast<char>(c);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
        name.pop_back();
    }
    return name;
}

// The disc's audio tracks in order: MusicBrainz's positions count them from 1.
std::vector<int> AudioTracks(OpticalDisk& disc)
{
    std::vector<int> audio;
    for (const int n : TocTracks(disc)) {
        if (disc.Track(static_cast<std::int16_t>(n))->Mode() == "Audio") {
            audio.push_back(n);
        }
    }
    return audio;
}

const net::MusicBrainzRelease::Track* TitleOf(OpticalDisk& disc, int n,
                                              const net::MusicBrainzRelease& release)
{
    const auto audio = AudioTracks(disc);
    const auto at = std::find(audio.begin(), audio.end(), n);
    for (const auto& t : release.tracks) {
        if (at != audio.end() && t.position == at - audio.begin() + 1) {
            return &t;
        }
    }
    return nullptr;
}

std::string FileNameOf(OpticalDisk& disc, int n, const net::MusicBrainzRelease& release)
{
    const auto* t = TitleOf(disc, n, release);
    if (t == nullptr || SafeName(t->title).empty()) {
        return "Track " + std::to_string(n) + ".wav";
    }
    char number[8];
    std::snprintf(number, sizeof number, "%02d", n);
    return std::string(number) + " - " + SafeName(t->title) + ".wav";
}

} // namespace

namespace {

// The tracks a rip or a online works on: those asked for, else every audio track.
std::vector<int> ChosenTracks(OpticalDisk& disc, const std::optional<std::vector<int>>& requested)
{
    return requested ? *requested : AudioTracks(disc);
}

// Where a track sits among the disc's audio tracks: AccurateRip leaves out the start of the first
// and the end of the last, and lists them in this order.
struct AudioPlace {
    std::size_t index = 0;
    bool first = false;
    bool last = false;
};

AudioPlace PlaceOf(OpticalDisk& disc, int n)
{
    const std::vector<int> audio = AudioTracks(disc);
    const auto at = std::find(audio.begin(), audio.end(), n);
    return {static_cast<std::size_t>(at - audio.begin()), at == audio.begin(), at + 1 == audio.end()};
}

struct TrackSums {
    int track = 0;
    bool copied = false;
    AudioPlace place;
    sums::TrackChecksums::Sums sums;
    std::string accurateRip; // the databases' verdicts, once asked
    std::string ctdb;
    rip::Report read; // of a secure read
};

// The checksums of a track, fed its audio in order.
class Summer {
public:
    Summer(OpticalDisk& disc, int track, AudioPlace place, std::uint64_t bytes)
        : track_(track), place_(place),
          sums_(bytes / 4, place.first, place.last, ctdb::AudioSamples(ids::LayoutOf(disc)))
    {
    }
    void Add(ConstBytes audio) { sums_.Add(audio); }
    TrackSums Sums() const
    {
        TrackSums t;
        t.track = track_;
        t.place = place_;
        t.sums = sums_.Result();
        return t;
    }

private:
    int track_;
    AudioPlace place_;
    sums::TrackChecksums sums_;
};

void PrintSums(const TrackSums& t)
{
    std::printf("Track %2d: AccurateRip v1 %08X, v2 %08X; CRC32 %08X, W/O NULL %08X\n", t.track, t.sums.v1,
                t.sums.v2, t.sums.crc32, t.sums.withoutNulls);
    std::fflush(stdout);
}

enum class Copied { Ok, Failed, StopAll, Cancelled };

// Extract of one track into `file` with its progress, its checksums summed on the way, and the
// window's messages for what went wrong.
Copied CopyTrack(OpticalDisk& disc, int n, AudioPlace place, const std::string& file,
                 const std::string& shown, const char* done, bool verbose, TrackSums& out)
{
    const auto track = disc.Track(static_cast<std::int16_t>(n));
    Progress progress(n, track->LogicalBlocks());
    bool cancelled = false;
    Summer summer(disc, n, place, std::uint64_t{static_cast<std::uint32_t>(track->LogicalBlocks())} * 2352);
    disc.SetAudioHandler([&](ConstBytes sector) { summer.Add(sector); });
    disc.SetChangeHandler([&](std::int32_t bytes, bool& cancel) {
        if (Interrupted.load()) {
            cancel = true;
            cancelled = true;
            return;
        }
        progress.Update(bytes);
    });
    const bool ok = disc.Extract(static_cast<std::uint8_t>(n), file);
    disc.SetChangeHandler(nullptr);
    disc.SetAudioHandler(nullptr);
    if (cancelled) {
        progress.Finish(shown, shown == file ? "stopped, kept" : "stopped");
        std::cerr << Cancelled << '\n';
        return Copied::Cancelled;
    }
    if (!ok) {
        const std::string& why = disc.ErrorMessage();
        if (why == "Invalid handle") {
            // The folder takes no files: the other tracks would fail the same way.
            std::cerr << "Track " << n << ": " << ErrorAccessingDrive << '\n';
            Reason(disc, verbose);
            return Copied::StopAll;
        }
        std::cerr << "Track " << n << ": " << ErrorExtracting << '\n';
        Reason(disc, verbose);
        // A full disc is full for the next track too.
        return why == ErrorWriting ? Copied::StopAll : Copied::Failed;
    }
    progress.Finish(shown, done);
    out = summer.Sums();
    return Copied::Ok;
}

// A secure read of one track into `file`: every sector confirmed by the reader, corrected for the
// drive's offset, with progress and checksums as CopyTrack has them.
Copied SecureCopyTrack(OpticalDisk& disc, rip::SecureReader& reader, int n, AudioPlace place,
                       const std::string& file, TrackSums& out)
{
    const auto track = disc.Track(static_cast<std::int16_t>(n));
    const std::int32_t sectors = std::max(track->LogicalBlocks(), 0);
    WavWriter wav;
    if (!wav.Open(file)) {
        std::cerr << "Track " << n << ": " << ErrorAccessingDrive << '\n';
        return Copied::StopAll;
    }
    if (!wav.StartRiff() || !wav.StartFormat() ||
        !wav.StartData(static_cast<std::uint32_t>(sectors) * 2352)) {
        wav.Abandon();
        std::cerr << "Track " << n << ": " << ErrorWriting << '\n';
        return Copied::StopAll;
    }
    Progress progress(n, sectors);
    Summer summer(disc, n, place, std::uint64_t{static_cast<std::uint32_t>(sectors)} * 2352);
    std::int32_t written = WavWriter::HeaderSize;
    bool writeFailed = false;
    rip::Report report;
    const bool read = reader.Read(
        track->LBA(), sectors,
        [&](ConstBytes block) {
            if (Interrupted.load()) {
                return false;
            }
            if (!wav.Write(block)) {
                writeFailed = true;
                return false;
            }
            summer.Add(block);
            written += static_cast<std::int32_t>(block.size());
            progress.Update(written);
            return true;
        },
        report);
    const bool completed = wav.Complete();
    out = summer.Sums();
    out.read = report;
    if (!read && !writeFailed) {
        progress.Finish(file, "stopped, kept");
        std::cerr << Cancelled << '\n';
        return Copied::Cancelled;
    }
    if (writeFailed || !completed) {
        std::cerr << "Track " << n << ": " << ErrorWriting << '\n';
        return Copied::StopAll;
    }
    progress.Finish(file, "wrote");
    std::printf("Track %2d: secure read%s: %u sectors read again, %zu suspicious\n", n,
                report.c2 ? " with C2 pointers" : "", report.rereadSectors, report.suspicious.size());
    for (const std::int32_t lba : report.suspicious) {
        std::printf("Track %2d: suspicious block %d (%s into the track)\n", n, lba,
                    rip::Duration(lba - track->LBA()).c_str());
    }
    return Copied::Ok;
}

// A track asked for that is not on the disc or not audio: says so and returns false.
bool Extractable(OpticalDisk& disc, int n)
{
    const auto track = disc.Track(static_cast<std::int16_t>(n));
    if (!track || n < disc.FirstTrack()) {
        std::cerr << "Track " << n << ": no such track on this disc\n";
        return false;
    }
    if (track->Mode() != "Audio") {
        std::cerr << "Track " << n << ": " << NotAudio << '\n';
        return false;
    }
    return true;
}

// What the databases said of a rip, for its log.
struct Verdicts {
    std::string accurateRip; // the summary line's text
    std::string ctdb;
};

// Prints a summary line ("AccurateRip: …") and keeps its text for the log.
void Summary(const char* database, std::string& kept, const std::string& text)
{
    std::printf("%s: %s\n", database, text.c_str());
    std::fflush(stdout);
    kept = text;
}

// The AccurateRip verdict on each track; true when every one was accurately ripped.
bool ReportAccurateRip(OpticalDisk& disc, std::vector<TrackSums>& tracks, const Online& online,
                       Verdicts& said)
{
    const auto id = ids::IdentifiersOf(disc).accurateRip;
    if (!id || tracks.empty()) {
        return false;
    }
    net::AccurateRipLookup lookup;
    if (!online.accurateRipFile.empty()) {
        lookup = net::ReadAccurateRip(online.accurateRipFile, *id);
    } else {
        net::HttpClient http;
        lookup = net::FetchAccurateRip(http, online.services, *id);
    }
    std::printf("AccurateRip: %s\n", id->FileName().c_str());
    if (lookup.state == net::AccurateRipLookup::State::Failed) {
        Summary("AccurateRip", said.accurateRip, "not checked: " + lookup.error);
        return false;
    }
    std::size_t accurate = 0;
    for (TrackSums& s : tracks) {
        const auto verdict = accuraterip::Check(lookup.response, s.place.index, s.sums.v1, s.sums.v2);
        accurate += verdict.outcome == accuraterip::Outcome::Accurate;
        s.accurateRip = accuraterip::Text(verdict);
        std::printf("Track %2d: %s\n", s.track, s.accurateRip.c_str());
    }
    Summary("AccurateRip", said.accurateRip,
            lookup.state == net::AccurateRipLookup::State::NotInDatabase ? "the disc is not in the database"
            : accurate == tracks.size() ? "all " + std::to_string(accurate) + " tracks accurately ripped"
                                        : std::to_string(accurate) + " of " + std::to_string(tracks.size()) +
                                              " tracks accurately ripped");
    return accurate == tracks.size();
}

// The CUETools database's verdict on each track, and on the disc when every audio track is there;
// true when every track was accurately ripped. Not asked when AccurateRip's answer came from a file
// (the user is offline).
bool ReportCtdb(OpticalDisk& disc, std::vector<TrackSums>& tracks, const Online& online, Verdicts& said)
{
    if (!online.accurateRipFile.empty() || tracks.empty()) {
        return false;
    }
    const ids::TocLayout toc = ids::LayoutOf(disc);
    net::HttpClient http;
    const net::CtdbLookup lookup = net::FetchCtdb(http, online.services, toc);
    std::printf("CTDB: %s\n", ids::CtdbTocId(toc).c_str());
    if (lookup.state == net::CtdbLookup::State::Failed) {
        Summary("CTDB", said.ctdb, "not checked: " + lookup.error);
        return false;
    }
    std::size_t accurate = 0;
    for (TrackSums& s : tracks) {
        const auto verdict = ctdb::CheckTrack(lookup.response, s.place.index, s.sums.ctdb);
        accurate += verdict.confidence > 0;
        s.ctdb = ctdb::Text(verdict);
        std::printf("Track %2d: CTDB %s\n", s.track, s.ctdb.c_str());
    }
    if (lookup.state == net::CtdbLookup::State::NotInDatabase) {
        Summary("CTDB", said.ctdb, "the disc is not in the database");
    } else if (tracks.size() == AudioTracks(disc).size()) {
        std::vector<sums::TrackChecksums::Sums> all;
        for (const TrackSums& s : tracks) {
            all.push_back(s.sums);
        }
        Summary("CTDB", said.ctdb,
                "disc " + ctdb::Text(ctdb::CheckDisc(lookup.response, sums::CtdbDiscCrc(all))));
    } else {
        Summary("CTDB", said.ctdb,
                std::to_string(accurate) + " of " + std::to_string(tracks.size()) +
                    " tracks accurately ripped");
    }
    return accurate == tracks.size();
}

} // namespace

namespace {

// The rip's log beside its tracks: rip.log in words, rip.json with the same facts.
void WriteLog(OpticalDisk& disc, const std::string& folder, const RipOptions& options, const Verdicts& said,
              const std::vector<TrackSums>& tracks, const std::vector<std::string>& files, bool cancelled)
{
    const ids::Identifiers ids = ids::IdentifiersOf(disc);
    rip::RipLog log;
    log.program = "Tolvane " TOLVANE_VERSION;
    log.drive = options.drive.empty() ? disc.Drive() : options.drive;
    const bool c2 = std::any_of(tracks.begin(), tracks.end(), [](const TrackSums& t) { return t.read.c2; });
    log.readMode = !options.secure ? "Burst"
                   : c2            ? "Secure, with C2 error pointers"
                                   : "Secure, every sector read twice";
    log.offset = options.read.offset;
    log.overread = options.read.overread;
    log.accurateRipId = ids.accurateRip ? ids.accurateRip->Text() : "";
    log.musicBrainzId = ids.musicBrainz;
    log.ctdbTocId = ids.ctdb;
    log.accurateRipSummary = said.accurateRip;
    log.ctdbSummary = said.ctdb;
    log.cancelled = cancelled;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TrackSums& t = tracks[i];
        const auto track = disc.Track(static_cast<std::int16_t>(t.track));
        log.silentSamples += t.read.silentSamples;
        log.tracks.push_back({t.track, track->LBA(), track->LogicalBlocks(), files[i], t.sums.peak,
                              t.sums.crc32, t.sums.withoutNulls, t.sums.v1, t.sums.v2, t.accurateRip, t.ctdb,
                              t.read.rereadSectors, t.read.suspicious, t.copied});
    }
    const std::filesystem::path base = std::filesystem::path(folder) / "rip";
    std::ofstream(base.string() + ".log", std::ios::binary | std::ios::trunc) << rip::LogText(log);

    nlohmann::ordered_json json;
    json["Program"] = log.program;
    json["Drive"] = log.drive;
    json["ReadMode"] = log.readMode;
    json["ReadOffset"] = log.offset;
    json["Overread"] = log.overread;
    json["SilentSamples"] = log.silentSamples;
    json["Identifiers"] = {
        {"AccurateRip", log.accurateRipId}, {"MusicBrainz", log.musicBrainzId}, {"CtdbTocId", log.ctdbTocId}};
    json["Tracks"] = nlohmann::json::array();
    const auto hex = [](std::uint32_t v) {
        char text[9];
        std::snprintf(text, sizeof text, "%08X", v);
        return std::string(text);
    };
    for (const rip::TrackLog& t : log.tracks) {
        json["Tracks"].push_back({{"Number", t.number},
                                  {"File", t.file},
                                  {"Start", t.lba},
                                  {"Sectors", t.sectors},
                                  {"Copied", t.copied},
                                  {"Peak", t.peak / 32768.0},
                                  {"CRC32", hex(t.crc32)},
                                  {"CRC32WithoutNulls", hex(t.withoutNulls)},
                                  {"AccurateRipV1", hex(t.accurateRipV1)},
                                  {"AccurateRipV2", hex(t.accurateRipV2)},
                                  {"AccurateRip", t.accurateRip},
                                  {"CTDB", t.ctdb},
                                  {"SectorsReadAgain", t.rereadSectors},
                                  {"Suspicious", t.suspicious}});
    }
    json["AccurateRip"] = log.accurateRipSummary;
    json["CTDB"] = log.ctdbSummary;
    json["Cancelled"] = cancelled;
    std::ofstream(base.string() + ".json", std::ios::binary | std::ios::trunc) << json.dump(2) << '\n';
}

} // namespace

int Rip(OpticalDisk& disc, const std::optional<std::vector<int>>& requested, const std::string& folder,
        const Online& online, const RipOptions& options, bool verbose)
{
    if (!ReadDisc(disc, verbose)) {
        return ExitFailed;
    }
    const std::vector<int> toc = TocTracks(disc);
    if (toc.empty()) {
        std::cerr << NoTracksFound << '\n';
        return ExitFailed;
    }
    const std::vector<int> tracks = ChosenTracks(disc, requested);
    // The folder the window's folder dialog would refuse.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        std::cerr << ErrorAccessingDrive << '\n';
        if (verbose) {
            std::cerr << "  (" << folder << " is not a folder that can be made)\n";
        }
        return ExitFailed;
    }

    const net::MusicBrainzRelease release =
        online.musicBrainz ? AskMusicBrainz(disc, online) : net::MusicBrainzRelease{};
    // The secure reader reads up to the audio's end: on an Enhanced CD the data session is not audio.
    rip::SecureReader reader(disc.Transport(), ids::AudioEnd(ids::LayoutOf(disc)), options.read);
    int status = ExitOk;
    std::vector<TrackSums> ripped;
    std::vector<std::string> files;
    bool cancelled = false;
    for (const int n : tracks) {
        if (!Extractable(disc, n)) {
            status = ExitFailed;
            continue;
        }
        const std::string name = FileNameOf(disc, n, release);
        const std::string file = (std::filesystem::path(folder) / name).string();
        TrackSums sums;
        sums.track = n;
        const Copied copied = options.secure
                                  ? SecureCopyTrack(disc, reader, n, PlaceOf(disc, n), file, sums)
                                  : CopyTrack(disc, n, PlaceOf(disc, n), file, file, "wrote", verbose, sums);
        if (copied == Copied::Cancelled || copied == Copied::StopAll) {
            cancelled = copied == Copied::Cancelled;
            ripped.push_back(sums);
            files.push_back(name);
            status = cancelled ? ExitInterrupted : ExitFailed;
            break;
        }
        if (copied == Copied::Failed) {
            status = ExitFailed;
            continue;
        }
        sums.copied = true;
        PrintSums(sums);
        ripped.push_back(sums);
        files.push_back(name);
    }
    // The files stay whatever the database says, and a rip offline succeeds all the same.
    Verdicts said;
    if (online.enabled && !cancelled) {
        std::vector<TrackSums> copied;
        std::copy_if(ripped.begin(), ripped.end(), std::back_inserter(copied),
                     [](const TrackSums& t) { return t.copied; });
        ReportAccurateRip(disc, copied, online, said);
        ReportCtdb(disc, copied, online, said);
        for (TrackSums& t : ripped) {
            const auto it = std::find_if(copied.begin(), copied.end(),
                                         [&](const TrackSums& c) { return c.track == t.track; });
            if (it != copied.end()) {
                t.accurateRip = it->accurateRip;
                t.ctdb = it->ctdb;
            }
        }
    }
    WriteLog(disc, folder, options, said, ripped, files, cancelled);
    return status;
}

namespace {

// Track N.wav in the folder, or the NN - Title.wav a rip named from MusicBrainz wrote.
std::string TrackFileIn(const std::string& folder, int n)
{
    const std::filesystem::path plain =
        std::filesystem::path(folder) / ("Track " + std::to_string(n) + ".wav");
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d - ", n);
    std::error_code ec;
    if (!std::filesystem::exists(plain, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0 &&
                entry.path().extension() == ".wav") {
                return entry.path().string();
            }
        }
    }
    return plain.string();
}

} // namespace

int Verify(OpticalDisk& disc, const std::optional<std::vector<int>>& requested, const std::string& folder,
           const Online& online, bool verbose)
{
    if (!ReadDisc(disc, verbose)) {
        return ExitFailed;
    }
    if (!ids::IdentifiersOf(disc).accurateRip) {
        std::cerr << NoTracksFound << '\n';
        return ExitFailed;
    }
    int status = ExitOk;
    std::vector<TrackSums> checked;
    for (const int n : ChosenTracks(disc, requested)) {
        if (!Extractable(disc, n)) {
            status = ExitFailed;
            continue;
        }
        const AudioPlace place = PlaceOf(disc, n);
        TrackSums sums;
        if (folder.empty()) {
            // The disc's own audio, through a file that goes when the track is summed.
            const auto file =
                std::filesystem::temp_directory_path() /
                ("tolvane-verify-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".wav");
            const Copied copied =
                CopyTrack(disc, n, place, file.string(), "from the disc", "read", verbose, sums);
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
            if (copied == Copied::Cancelled) {
                return ExitInterrupted;
            }
            if (copied != Copied::Ok) {
                status = ExitFailed;
                continue;
            }
        } else {
            const std::string file = TrackFileIn(folder, n);
            WavReader wav;
            if (!wav.Open(file)) {
                std::cerr << "Track " << n << ": " << wav.Error() << '\n';
                status = ExitFailed;
                continue;
            }
            const auto expected = std::uint64_t{static_cast<std::uint32_t>(
                                      disc.Track(static_cast<std::int16_t>(n))->LogicalBlocks())} *
                                  2352;
            if (wav.DataBytes() != expected) {
                std::cerr << "Track " << n << ": " << file << " holds " << wav.DataBytes()
                          << " bytes of audio, the track " << expected << '\n';
            }
            Summer summer(disc, n, place, wav.DataBytes());
            if (!wav.Read([&summer](ConstBytes audio) { summer.Add(audio); })) {
                std::cerr << "Track " << n << ": " << wav.Error() << '\n';
                status = ExitFailed;
                continue;
            }
            sums = summer.Sums();
        }
        PrintSums(sums);
        checked.push_back(sums);
    }
    // Either database's word is enough: a pressing one of them lacks may be in the other.
    Verdicts said;
    const bool accurateRip = ReportAccurateRip(disc, checked, online, said);
    const bool cuetools = ReportCtdb(disc, checked, online, said);
    if (!accurateRip && !cuetools) {
        status = ExitFailed;
    }
    return status;
}

} // namespace tolvane::cli
