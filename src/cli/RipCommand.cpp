// rip and verify: tracks copied to files with their checksums, and the databases' word on them.
#include "cli/CommandSupport.h"
#include "cli/Options.h"
#include "disc/Checksums.h"
#include "disc/TrackTable.h"
#include "disc/WavReader.h"
#include "disc/WavWriter.h"
#include "net/Databases.h"
#include "rip/DriveCache.h"
#include "rip/DriveOffsets.h"
#include "rip/Gaps.h"
#include "rip/RipLog.h"
#include "rip/SecureReader.h"
#include "rip/output/DiscSheet.h"
#include "rip/output/FileName.h"
#include "rip/output/FlacReader.h"
#include "rip/output/FlacWriter.h"
#include "rip/output/TrackFile.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
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

constexpr double BytesPerSecond = 176400.0; // CD audio: 44,100 frames of 4 bytes

// The whole rip, for the disc's share of each track's progress line.
struct RipProgress {
    std::int64_t totalBytes = 0;
    std::int64_t doneBytes = 0; // of the tracks already finished
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Progress of one track, and of the rip it is part of: redrawn in place on stderr when that is a
// terminal, otherwise a line on stdout when the track starts and when it ends.
class Progress {
public:
    Progress(int track, std::int32_t sectors, RipProgress* rip = nullptr)
        : track_(track), total_(std::int64_t{sectors} * 2352), rip_(rip),
          terminal_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now())
    {
        // Scripts reading a pipe see when each track starts, not only when it ends.
        if (!terminal_) {
            std::printf("Track %2d: extracting\n", track_);
            std::fflush(stdout);
        }
    }

    // `extractedBytes` counts the WAV header as the disc object's Change event does; `reread`,
    // of a secure read, the sectors read again so far.
    void Update(std::int32_t extractedBytes, const rip::Report* reread = nullptr)
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
        const double elapsed = Seconds(start_, now);
        const double rate = elapsed > 0 ? done_ / elapsed : 0; // bytes per second
        const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
        char line[160];
        int used = std::snprintf(line, sizeof line, "\rTrack %2d: %3d%%", track_, Percent(done_, total_));
        if (rip_ != nullptr) {
            used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "  disc %3d%%",
                                  Percent(rip_->doneBytes + done_, rip_->totalBytes));
        }
        used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "  %5.1fx",
                              rate / BytesPerSecond);
        if (reread != nullptr) {
            used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "  %u re-read",
                                  reread->rereadSectors);
        }
        std::string text(line, static_cast<std::size_t>(std::max(used, 0)));
        // The first moments of a track (the drive spinning up) say nothing of how long it takes.
        const bool settled = elapsed >= 0.5;
        text += "  ";
        text += settled ? Clock(left) : std::string("-:--");
        text += " left";
        if (rip_ != nullptr) {
            const double ripElapsed = Seconds(rip_->start, now);
            const auto ripDone = rip_->doneBytes + done_;
            const double ripRate = ripElapsed > 0 ? ripDone / ripElapsed : 0;
            text += ", disc ";
            text += settled || rip_->doneBytes > 0
                        ? Clock(ripRate > 0 ? static_cast<double>(rip_->totalBytes - ripDone) / ripRate : 0)
                        : std::string("-:--");
        }
        text += "\033[K";
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }

    // Takes the redrawn line away, so that a message starts on a line of its own.
    void Clear()
    {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

    void Finish(const std::string& file, const char* outcome)
    {
        const double elapsed = Seconds(start_, std::chrono::steady_clock::now());
        const double speed = elapsed > 0 ? done_ / elapsed / BytesPerSecond : 0;
        Clear();
        if (rip_ != nullptr) {
            rip_->doneBytes += total_;
        }
        std::printf("Track %2d: %s %s (%.1f MB, %.1fx)\n", track_, outcome, file.c_str(), done_ / 1e6, speed);
        std::fflush(stdout);
    }

private:
    static int Percent(std::int64_t part, std::int64_t whole)
    {
        return whole > 0 ? static_cast<int>(std::min<std::int64_t>(part * 100 / whole, 100)) : 100;
    }

    static double Seconds(std::chrono::steady_clock::time_point from,
                          std::chrono::steady_clock::time_point to)
    {
        return std::chrono::duration<double>(to - from).count();
    }

    int track_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    RipProgress* rip_;
    bool terminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The texts of track n for its file's name, its tags and the cue sheet: the release MusicBrainz
// lists when one was asked for and it lists the track, else the disc's CD-Text.
rip::NameFields TextsOf(OpticalDisk& disc, int n, const net::MusicBrainzRelease& release)
{
    rip::NameFields fields;
    fields.track = n;
    if (const auto* t = release.found ? TitleOf(disc, n, release) : nullptr) {
        fields.title = t->title;
        fields.artist = t->artist.empty() ? release.artist : t->artist;
        fields.album = release.album;
        fields.albumArtist = release.artist;
        return fields;
    }
    if (const auto text = disc.Track(static_cast<std::int16_t>(n))->CDText()) {
        fields.title = text->Title();
        fields.artist = text->Artist();
    }
    fields.album = disc.CDText()->Title();
    fields.albumArtist = disc.CDText()->Artist();
    return fields;
}

std::string Lowered(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The file of each track, in order, from the template. Without one, "Track N" as rips have always
// been named, or "NN - Title" when MusicBrainz gave titles. Names that two tracks would share
// (compared without case, as Windows' and macOS' file systems compare them) are made distinct by
// the track number: "Intro.flac", then "Intro (7).flac".
std::vector<std::string> FileNames(OpticalDisk& disc, const std::vector<int>& tracks,
                                   const net::MusicBrainzRelease& release, const RipOptions& options)
{
    const std::string pattern = !options.nameTemplate.empty() ? options.nameTemplate
                                : release.found               ? std::string("%N - %t")
                                                              : std::string(rip::DefaultNameTemplate);
    const char* extension = rip::ExtensionOf(options.format);
    std::vector<std::string> names;
    std::vector<std::string> taken;
    for (const int n : tracks) {
        std::string stem = rip::FileNameFromTemplate(pattern, TextsOf(disc, n, release));
        std::string name = stem + extension;
        for (int again = 0; std::find(taken.begin(), taken.end(), Lowered(name)) != taken.end(); ++again) {
            name = stem;
            name += " (";
            name += std::to_string(n);
            if (again > 0) {
                name += '-';
                name += std::to_string(again);
            }
            name += ")";
            name += extension;
        }
        taken.push_back(Lowered(name));
        names.push_back(name);
    }
    return names;
}

// The Vorbis comments of track n's FLAC file.
rip::FlacTags TagsOf(OpticalDisk& disc, int n, const net::MusicBrainzRelease& release)
{
    const rip::NameFields texts = TextsOf(disc, n, release);
    rip::FlacTags tags;
    tags.title = texts.title;
    tags.artist = texts.artist;
    tags.album = texts.album;
    tags.albumArtist = texts.albumArtist;
    tags.trackNumber = n;
    const std::vector<int> audio = AudioTracks(disc);
    tags.trackTotal = audio.empty() ? 0 : audio.back();
    tags.discId = Lowered(disc.CD()->CDDB());
    tags.isrc = disc.Track(static_cast<std::int16_t>(n))->ISRC();
    tags.musicBrainzDiscId = ids::IdentifiersOf(disc).musicBrainz;
    return tags;
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
    rip::Report read;       // of a secure read
    std::int32_t start = 0; // the blocks copied
    std::int32_t sectors = 0;
    bool tested = false; // a test pass read the track first, with this CRC32
    std::uint32_t testCrc = 0;
    bool readOnce = false; // without C2, one read that AccurateRip confirmed
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

// What a track is copied into, and the rip it is part of.
struct Output {
    AudioFormat format = AudioFormat::Wav;
    rip::FlacTags tags;              // of a FLAC file
    RipProgress* progress = nullptr; // the whole rip's, when there is one
    bool verbose = false;
};

// The disc object's burst copy of one track into `file` (its Extract for WAV, else its sectors
// into our own writer) with its progress, its checksums summed on the way, and the window's
// messages for what went wrong.
Copied CopyTrack(OpticalDisk& disc, int n, AudioPlace place, const std::string& file,
                 const std::string& shown, const char* done, const Output& output, TrackSums& out)
{
    const auto track = disc.Track(static_cast<std::int16_t>(n));
    const auto bytes = std::uint64_t{static_cast<std::uint32_t>(std::max(track->LogicalBlocks(), 0))} * 2352;
    rip::TrackFile encoded;
    if (output.format != AudioFormat::Wav &&
        !encoded.Open(file, output.format, output.tags, static_cast<std::uint32_t>(bytes))) {
        std::cerr << "Track " << n << ": " << ErrorAccessingDrive << '\n';
        if (output.verbose) {
            std::cerr << "  (" << encoded.Error() << ")\n";
        }
        return Copied::StopAll;
    }
    Progress progress(n, track->LogicalBlocks(), output.progress);
    bool cancelled = false;
    Summer summer(disc, n, place, bytes);
    disc.SetAudioHandler([&](ConstBytes sector) { summer.Add(sector); });
    disc.SetChangeHandler([&](std::int32_t extracted, bool& cancel) {
        if (Interrupted != 0) {
            cancel = true;
            cancelled = true;
            return;
        }
        progress.Update(extracted);
    });
    bool ok = false;
    if (output.format == AudioFormat::Wav) {
        ok = disc.Extract(static_cast<std::uint8_t>(n), file);
        progress.Clear();
    } else {
        ok = disc.ExtractTo(static_cast<std::uint8_t>(n),
                            [&encoded](ConstBytes sector) { return encoded.Write(sector); });
        progress.Clear();
        // What was copied stays a valid file, as Extract leaves a WAV file.
        if (!encoded.Finish() && (ok || cancelled)) {
            std::cerr << "Track " << n << ": " << ErrorWriting << '\n';
            if (output.verbose) {
                std::cerr << "  (" << encoded.Error() << ")\n";
            }
            disc.SetChangeHandler(nullptr);
            disc.SetAudioHandler(nullptr);
            return Copied::StopAll;
        }
    }
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
            Reason(disc, output.verbose);
            return Copied::StopAll;
        }
        std::cerr << "Track " << n << ": " << ErrorExtracting << '\n';
        Reason(disc, output.verbose);
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
                       std::int32_t start, std::int32_t sectors, const std::string& file,
                       const Output& output, TrackSums& out)
{
    rip::TrackFile encoded;
    if (!encoded.Open(file, output.format, output.tags, static_cast<std::uint32_t>(sectors) * 2352)) {
        std::cerr << "Track " << n << ": " << ErrorAccessingDrive << '\n';
        if (output.verbose) {
            std::cerr << "  (" << encoded.Error() << ")\n";
        }
        return Copied::StopAll;
    }
    Progress progress(n, sectors, output.progress);
    Summer summer(disc, n, place, std::uint64_t{static_cast<std::uint32_t>(sectors)} * 2352);
    std::int32_t written = WavWriter::HeaderSize;
    bool writeFailed = false;
    rip::Report report;
    const bool read = reader.Read(
        start, sectors,
        [&](ConstBytes block) {
            if (Interrupted != 0) {
                return false;
            }
            if (!encoded.Write(block)) {
                writeFailed = true;
                return false;
            }
            summer.Add(block);
            written += static_cast<std::int32_t>(block.size());
            progress.Update(written, &report);
            return true;
        },
        report);
    progress.Clear();
    const bool completed = encoded.Finish();
    out = summer.Sums();
    out.read = report;
    if (!read && !writeFailed && reader.Error() != "cancelled") {
        // The drive stopped answering: the other tracks would fail the same way.
        std::cerr << "Track " << n << ": " << ErrorExtracting << "\n  (" << reader.Error() << ")\n";
        return Copied::StopAll;
    }
    if (!read && !writeFailed && completed) {
        progress.Finish(file, "stopped, kept");
        std::cerr << Cancelled << '\n';
        return Copied::Cancelled;
    }
    if (writeFailed || !completed) {
        std::cerr << "Track " << n << ": " << ErrorWriting << '\n';
        if (output.verbose) {
            std::cerr << "  (" << encoded.Error() << ")\n";
        }
        return Copied::StopAll;
    }
    progress.Finish(file, "wrote");
    std::printf("Track %2d: secure read%s: %u sectors read again, %zu suspicious\n", n,
                report.c2 ? " with C2 pointers" : "", report.rereadSectors, report.suspicious.size());
    for (const std::int32_t lba : report.suspicious) {
        std::printf("Track %2d: suspicious block %d (%s into the track)\n", n, lba,
                    rip::Duration(lba - start).c_str());
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

// The disc's response: from the saved file the user named, else from the database.
const net::AccurateRipLookup& AskAccurateRip(const ids::AccurateRipId& id, const Online& online)
{
    if (!online.accurateRip) {
        if (!online.accurateRipFile.empty()) {
            online.accurateRip =
                std::make_shared<net::AccurateRipLookup>(net::ReadAccurateRip(online.accurateRipFile, id));
        } else {
            net::HttpClient http;
            online.accurateRip =
                std::make_shared<net::AccurateRipLookup>(net::FetchAccurateRip(http, online.services, id));
        }
    }
    return *online.accurateRip;
}

// The AccurateRip verdict on each track; true when every one was accurately ripped.
bool ReportAccurateRip(OpticalDisk& disc, std::vector<TrackSums>& tracks, const Online& online,
                       Verdicts& said)
{
    const auto id = ids::IdentifiersOf(disc).accurateRip;
    if (!id || tracks.empty()) {
        return false;
    }
    const net::AccurateRipLookup& lookup = AskAccurateRip(*id, online);
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
// What a rip found on its way: the cache, the gaps, a hidden track before the first.
struct RipFindings {
    std::string cache;
    std::string gaps;
    bool scanned = false;
    rip::DiscGaps gapScan;
    int offset = 0;
    TrackSums hidden;
    std::string hiddenFile; // empty: no hidden track was copied
};

void WriteLog(OpticalDisk& disc, const std::string& folder, const RipOptions& options,
              const RipFindings& found, const Verdicts& said, const std::vector<TrackSums>& ripped,
              const std::vector<std::string>& names, bool cancelled)
{
    // The hidden track, when one was copied, comes first.
    std::vector<TrackSums> tracks = ripped;
    std::vector<std::string> files = names;
    if (!found.hiddenFile.empty()) {
        tracks.insert(tracks.begin(), found.hidden);
        files.insert(files.begin(), found.hiddenFile);
    }
    const ids::Identifiers ids = ids::IdentifiersOf(disc);
    rip::RipLog log;
    log.program = "Tolvane " TOLVANE_VERSION;
    log.drive = options.drive.empty() ? disc.Drive() : options.drive;
    const bool c2 = std::any_of(tracks.begin(), tracks.end(), [](const TrackSums& t) { return t.read.c2; });
    const bool once =
        std::any_of(tracks.begin(), tracks.end(), [](const TrackSums& t) { return t.readOnce; });
    log.readMode = !options.secure ? "Burst"
                   : c2            ? "Secure, with C2 error pointers"
                   : once          ? "Secure, read once where AccurateRip confirms the track, else twice"
                                   : "Secure, every sector read twice";
    log.offset = found.offset;
    log.offsetSource = options.offsetSource;
    log.overread = options.read.overread;
    log.cache = found.cache;
    log.gaps = found.gaps;
    log.accurateRipId = ids.accurateRip ? ids.accurateRip->Text() : "";
    log.musicBrainzId = ids.musicBrainz;
    log.ctdbTocId = ids.ctdb;
    log.accurateRipSummary = said.accurateRip;
    log.ctdbSummary = said.ctdb;
    log.cancelled = cancelled;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TrackSums& t = tracks[i];
        log.silentSamples += t.read.silentSamples;
        rip::TrackLog entry{t.track,
                            t.start,
                            t.sectors,
                            files[i],
                            t.sums.peak,
                            t.sums.crc32,
                            t.sums.withoutNulls,
                            t.sums.v1,
                            t.sums.v2,
                            t.accurateRip,
                            t.ctdb,
                            t.read.rereadSectors,
                            t.read.suspicious,
                            t.copied};
        if (found.scanned) {
            for (const rip::TrackGaps& g : found.gapScan.tracks) {
                if (g.number == t.track) {
                    entry.pregap = g.PregapLength();
                    entry.preEmphasis = g.preEmphasis;
                }
            }
        }
        entry.tested = t.tested;
        entry.testCrc = t.testCrc;
        log.tracks.push_back(entry);
    }
    const std::filesystem::path base = std::filesystem::path(folder) / "rip";
    std::ofstream(base.string() + ".log", std::ios::binary | std::ios::trunc) << rip::LogText(log);

    nlohmann::ordered_json json;
    json["Program"] = log.program;
    json["Drive"] = log.drive;
    json["ReadMode"] = log.readMode;
    json["Format"] = options.format == AudioFormat::Flac ? "FLAC" : "WAV";
    json["ReadOffset"] = log.offset;
    json["ReadOffsetFrom"] = log.offsetSource;
    json["DriveCache"] = log.cache;
    json["Gaps"] = log.gaps;
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
        if (t.pregap >= 0) {
            json["Tracks"].back()["Pregap"] = t.pregap;
            json["Tracks"].back()["PreEmphasis"] = t.preEmphasis;
        }
        if (t.tested) {
            json["Tracks"].back()["TestCRC32"] = hex(t.testCrc);
        }
    }
    json["AccurateRip"] = log.accurateRipSummary;
    json["CTDB"] = log.ctdbSummary;
    json["Cancelled"] = cancelled;
    std::ofstream(base.string() + ".json", std::ios::binary | std::ios::trunc) << json.dump(2) << '\n';
}

} // namespace

namespace {

// rip.cue beside the files: the tracks copied whole, in the file-per-track layout, so that a player
// or burner finds the disc in them. A track cancelled or failed is left out; false (with a message)
// when the sheet cannot be written.
bool WriteSheet(OpticalDisk& disc, const std::string& folder, const std::vector<TrackSums>& ripped,
                const std::vector<std::string>& files, const net::MusicBrainzRelease& release,
                const rip::DiscGaps* gaps, const std::string& hiddenFile)
{
    std::vector<rip::SheetTrack> tracks;
    for (std::size_t i = 0; i < ripped.size(); ++i) {
        if (!ripped[i].copied) {
            continue;
        }
        const rip::NameFields texts = TextsOf(disc, ripped[i].track, release);
        tracks.push_back({ripped[i].track, files[i], texts.title, texts.artist});
    }
    if (tracks.empty()) {
        return true;
    }
    const rip::NameFields first = TextsOf(disc, tracks.front().number, release);
    rip::SheetTexts texts;
    texts.title = first.album;
    texts.performer = first.albumArtist;
    texts.comment = "Tolvane " TOLVANE_VERSION;
    rip::CueDisc sheet = rip::SheetOfDisc(disc, tracks, texts, gaps);
    if (!hiddenFile.empty() && !sheet.tracks.empty() && sheet.tracks.front().number == disc.FirstTrack()) {
        sheet.pregapFile = hiddenFile; // the audio before the first track, in a file of its own
    }
    const std::string text = rip::CueSheetText(sheet, rip::CueLayout::FilePerTrack);
    const std::string path = (std::filesystem::path(folder) / "rip.cue").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::cerr << ErrorWriting << ": " << path << '\n';
        return false;
    }
    return true;
}

} // namespace

// The test pass of test & copy: the track read as its copy will read it, for its CRC32 alone.
// False when the read failed or was interrupted.
bool TestTrack(OpticalDisk& disc, rip::SecureReader* reader, int n, std::int32_t start, std::int32_t sectors,
               std::uint32_t& crc)
{
    sums::Crc32 sum;
    bool ok = false;
    if (reader != nullptr) {
        rip::Report report;
        ok = reader->Read(
            start, sectors,
            [&sum](ConstBytes block) {
                sum.Add(block);
                return Interrupted == 0;
            },
            report);
    } else {
        disc.SetChangeHandler([](std::int32_t, bool& cancel) { cancel = Interrupted != 0; });
        ok = disc.ExtractTo(static_cast<std::uint8_t>(n), [&sum](ConstBytes sector) {
            sum.Add(sector);
            return true;
        });
        disc.SetChangeHandler(nullptr);
    }
    crc = sum.Value();
    return ok && Interrupted == 0;
}

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
    int status = ExitOk;
    std::vector<int> copyable;
    for (const int n : tracks) {
        if (Extractable(disc, n)) {
            copyable.push_back(n);
        } else {
            status = ExitFailed;
        }
    }
    const std::vector<std::string> names = FileNames(disc, copyable, release, options);
    RipProgress whole;
    for (const int n : copyable) {
        whole.totalBytes +=
            std::int64_t{std::max(disc.Track(static_cast<std::int16_t>(n))->LogicalBlocks(), 0)} * 2352;
    }
    // The secure reader reads up to the audio's end: on an Enhanced CD the data session is not audio.
    const ids::TocLayout layout = ids::LayoutOf(disc);
    const std::int32_t audioEnd = ids::AudioEnd(layout);
    rip::Settings read = options.read;
    RipFindings found;
    rip::DiscGaps gaps;
    bool scanned = false;
    if (options.secure && !copyable.empty()) {
        // How far a read must go to push a block out of the cache; a drive that hides its cache
        // keeps the reader's default reach.
        if (options.clock) {
            const std::int32_t at = disc.Track(static_cast<std::int16_t>(copyable.front()))->LBA();
            const rip::CacheSize cache = rip::MeasureCache(disc.Transport(), *options.clock, at, audioEnd);
            if (cache.blocks > 0) {
                read.cacheSectors = cache.blocks;
            }
            found.cache = cache.note;
            std::printf("Drive cache: %s\n", cache.note.c_str());
        }
        rip::GapFinder finder(disc.Transport());
        scanned = finder.Find(layout, gaps);
        found.gaps = scanned ? "from the Q sub-channel (" + std::to_string(gaps.commands) + " reads)"
                             : "not detected: " + finder.Error();
        std::printf("Gaps: %s\n", found.gaps.c_str());
    }
    rip::SecureReader reader(disc.Transport(), audioEnd, read);
    // Without C2 a track AccurateRip confirms needs no second read: each is read once first, and
    // securely only when its checksum is not the database's.
    rip::Settings onceSettings = read;
    onceSettings.singlePass = true;
    rip::SecureReader once(disc.Transport(), audioEnd, onceSettings);
    const auto arId = ids::IdentifiersOf(disc).accurateRip;
    const bool confirmByDatabase =
        options.secure && online.enabled && arId && !copyable.empty() &&
        !reader.UsesC2(disc.Track(static_cast<std::int16_t>(copyable.front()))->LBA()) &&
        AskAccurateRip(*arId, online).state == net::AccurateRipLookup::State::Found;
    std::vector<TrackSums> ripped;
    std::vector<std::string> files;
    bool cancelled = false;

    // Audio before the first track (a hidden track) is copied as track 0 unless it is silence.
    std::string hiddenFile;
    if (scanned && gaps.HasHtoa() && copyable.front() == disc.FirstTrack()) {
        const rip::Silence silence = rip::CheckSilence(disc.Transport(), 0, gaps.htoaEnd, read.offset);
        const std::string length = rip::Duration(gaps.htoaEnd);
        if (silence.ok && silence.silent) {
            std::printf("Track  0: the %s before track %d are silence: not copied\n", length.c_str(),
                        copyable.front());
        } else if (silence.ok) {
            hiddenFile = options.format == AudioFormat::Flac ? "Track 0.flac" : "Track 0.wav";
            std::printf("Track  0: %s of hidden audio before track %d\n", length.c_str(), copyable.front());
            TrackSums hidden;
            Output output;
            output.format = options.format;
            output.verbose = verbose;
            const Copied copied =
                SecureCopyTrack(disc, reader, 0, AudioPlace{}, 0, gaps.htoaEnd,
                                (std::filesystem::path(folder) / hiddenFile).string(), output, hidden);
            if (copied != Copied::Ok) {
                hiddenFile.clear();
                status = copied == Copied::Cancelled ? ExitInterrupted : ExitFailed;
                cancelled = copied == Copied::Cancelled;
            } else {
                found.hidden = hidden;
                found.hidden.start = 0;
                found.hidden.sectors = gaps.htoaEnd;
                found.hidden.copied = true;
                found.hiddenFile = hiddenFile;
            }
        } else {
            std::printf("Track  0: the audio before track %d cannot be read: %s\n", copyable.front(),
                        silence.error.c_str());
        }
    }
    for (std::size_t i = 0; i < copyable.size() && !cancelled; ++i) {
        const int n = copyable[i];
        const std::string& name = names[i];
        const std::string file = (std::filesystem::path(folder) / name).string();
        TrackSums sums;
        sums.track = n;
        Output output;
        output.format = options.format;
        output.tags = TagsOf(disc, n, release);
        output.progress = &whole;
        output.verbose = verbose;
        const auto track = disc.Track(static_cast<std::int16_t>(n));
        const std::int32_t start = track->LBA();
        const std::int32_t sectors = std::max(track->LogicalBlocks(), 0);
        bool tested = false;
        std::uint32_t testCrc = 0;
        if (options.testAndCopy) {
            std::printf("Track %2d: testing\n", n);
            std::fflush(stdout);
            if (!TestTrack(disc, options.secure ? &reader : nullptr, n, start, sectors, testCrc)) {
                if (Interrupted != 0) {
                    std::cerr << Cancelled << '\n';
                    cancelled = true;
                    status = ExitInterrupted;
                    break;
                }
                std::cerr << "Track " << n << ": " << ErrorExtracting << '\n';
                status = ExitFailed;
                continue;
            }
            tested = true;
        }
        Copied copied = Copied::Failed;
        bool confirmed = false;
        if (confirmByDatabase) {
            copied = SecureCopyTrack(disc, once, n, PlaceOf(disc, n), start, sectors, file, output, sums);
            const accuraterip::Verdict verdict = accuraterip::Check(
                online.accurateRip->response, PlaceOf(disc, n).index, sums.sums.v1, sums.sums.v2);
            confirmed = copied == Copied::Ok && verdict.outcome == accuraterip::Outcome::Accurate;
            if (copied == Copied::Ok) {
                std::printf(confirmed
                                ? "Track %2d: read once, confirmed by AccurateRip\n"
                                : "Track %2d: one read is not AccurateRip's: reading it again securely\n",
                            n);
            }
        }
        if (!confirmed && (copied == Copied::Ok || copied == Copied::Failed)) {
            copied = options.secure ? SecureCopyTrack(disc, reader, n, PlaceOf(disc, n), start, sectors, file,
                                                      output, sums)
                                    : CopyTrack(disc, n, PlaceOf(disc, n), file, file, "wrote", output, sums);
        }
        // The copy's sums replace what the test pass left.
        sums.start = start;
        sums.sectors = sectors;
        sums.tested = tested;
        sums.testCrc = testCrc;
        sums.readOnce = confirmed;
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
        if (sums.tested) {
            std::printf("Track %2d: test CRC %08X, copy CRC %08X: %s\n", n, sums.testCrc, sums.sums.crc32,
                        sums.testCrc == sums.sums.crc32 ? "the same" : "DIFFERENT");
        }
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
    if (!WriteSheet(disc, folder, ripped, files, release, scanned ? &gaps : nullptr, found.hiddenFile)) {
        status = status == ExitOk ? ExitFailed : status;
    }
    found.scanned = scanned;
    found.gapScan = gaps;
    found.offset = read.offset;
    WriteLog(disc, folder, options, found, said, ripped, files, cancelled);
    return status;
}

namespace {

// The file of each track that a rip's cue sheet names (where its INDEX 01 is); empty without one.
std::map<int, std::string> SheetFiles(const std::string& folder)
{
    std::map<int, std::string> files;
    std::ifstream in(std::filesystem::path(folder) / "rip.cue", std::ios::binary);
    std::string line;
    std::string file;
    int track = 0;
    while (std::getline(in, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) {
            continue;
        }
        const std::string_view statement = std::string_view(line).substr(start);
        if (statement.rfind("FILE \"", 0) == 0) {
            const std::size_t close = statement.find('"', 6);
            file =
                close == std::string_view::npos ? std::string() : std::string(statement.substr(6, close - 6));
        } else if (statement.rfind("TRACK ", 0) == 0) {
            track = std::atoi(std::string(statement.substr(6)).c_str());
        } else if (statement.rfind("INDEX 01", 0) == 0 && track > 0 && !file.empty()) {
            files[track] = file;
        }
    }
    return files;
}

// The file of track n in the folder: what its rip.cue names, else Track N.wav or .flac, or the
// NN - Title file a rip named from MusicBrainz wrote.
std::string TrackFileIn(const std::string& folder, int n, const std::map<int, std::string>& sheet)
{
    const std::filesystem::path dir(folder);
    std::error_code ec;
    // A sheet whose files were renamed since is passed over for the names rips give.
    if (const auto named = sheet.find(n);
        named != sheet.end() && std::filesystem::exists(dir / named->second, ec)) {
        return (dir / named->second).string();
    }
    std::string stem = "Track ";
    stem += std::to_string(n);
    for (const char* extension : {".wav", ".flac"}) {
        const std::filesystem::path plain = dir / (stem + extension);
        if (std::filesystem::exists(plain, ec)) {
            return plain.string();
        }
    }
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d - ", n);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string extension = entry.path().extension().string();
        if (entry.path().filename().string().rfind(prefix, 0) == 0 &&
            (extension == ".wav" || extension == ".flac")) {
            return entry.path().string();
        }
    }
    return (dir / (stem + ".wav")).string();
}

// A rip's file read back, WAV or FLAC by its extension.
class TrackAudio {
public:
    bool Open(const std::string& path)
    {
        flac_ = std::filesystem::path(path).extension() == ".flac";
        return flac_ ? flacReader_.Open(path) : wavReader_.Open(path);
    }
    std::uint64_t DataBytes() const { return flac_ ? flacReader_.DataBytes() : wavReader_.DataBytes(); }
    bool Read(const std::function<void(ConstBytes)>& sink)
    {
        return flac_ ? flacReader_.Read(sink) : wavReader_.Read(sink);
    }
    const std::string& Error() const { return flac_ ? flacReader_.Error() : wavReader_.Error(); }

private:
    bool flac_ = false;
    WavReader wavReader_;
    rip::FlacReader flacReader_;
};

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
    const std::map<int, std::string> sheet =
        folder.empty() ? std::map<int, std::string>() : SheetFiles(folder);
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
            Output output;
            output.verbose = verbose;
            const Copied copied =
                CopyTrack(disc, n, place, file.string(), "from the disc", "read", output, sums);
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
            const std::string file = TrackFileIn(folder, n, sheet);
            TrackAudio wav;
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

int FindOffset(OpticalDisk& disc, const OpticalDriveItem& drive, const Online& online, bool save,
               bool verbose)
{
    if (!ReadDisc(disc, verbose)) {
        return ExitFailed;
    }
    const auto id = ids::IdentifiersOf(disc).accurateRip;
    const std::vector<int> audio = AudioTracks(disc);
    if (!id || audio.empty()) {
        std::cerr << "The disc has no audio tracks: its offset cannot be found\n";
        return ExitFailed;
    }
    const net::AccurateRipLookup& lookup = AskAccurateRip(*id, online);
    std::printf("AccurateRip: %s\n", id->FileName().c_str());
    if (lookup.state != net::AccurateRipLookup::State::Found) {
        std::cerr << (lookup.state == net::AccurateRipLookup::State::NotInDatabase
                          ? std::string("The disc is not in AccurateRip: try another disc")
                          : "AccurateRip cannot be asked: " + lookup.error)
                  << '\n';
        return ExitFailed;
    }
    // Up to three tracks the database knows, the middle ones first: a match on each of them
    // leaves no doubt.
    std::vector<std::size_t> order;
    for (std::size_t i = 1; i + 1 < audio.size(); ++i) {
        order.push_back(i);
    }
    order.push_back(0);
    if (audio.size() > 1) {
        order.push_back(audio.size() - 1);
    }
    const std::int32_t end = ids::AudioEnd(ids::LayoutOf(disc));
    std::map<int, std::vector<int>> matches; // offset: the tracks it matched
    std::size_t tried = 0;
    for (const std::size_t i : order) {
        std::vector<std::uint32_t> known;
        for (const auto& pressing : lookup.response.pressings) {
            if (i < pressing.tracks.size() && pressing.tracks[i].confidence > 0) {
                known.push_back(pressing.tracks[i].crc);
            }
        }
        if (known.empty()) {
            continue;
        }
        const auto track = disc.Track(static_cast<std::int16_t>(audio[i]));
        const rip::OffsetDetection found =
            rip::DetectOffset(disc.Transport(), track->LBA(), track->LogicalBlocks(), end, i == 0,
                              i + 1 == audio.size(), known);
        if (!found.error.empty()) {
            std::cerr << "Track " << audio[i] << ": " << found.error << '\n';
            return ExitFailed;
        }
        std::string offsets;
        for (const int o : found.offsets) {
            matches[o].push_back(audio[i]);
            offsets += (offsets.empty() ? "" : ", ") + std::string(o > 0 ? "+" : "") + std::to_string(o);
        }
        std::printf("Track %2d: %s\n", audio[i],
                    offsets.empty() ? "no offset matches the database" : ("matches at " + offsets).c_str());
        if (++tried == 3) {
            break;
        }
    }
    // The offset most tracks agree on.
    const auto best = std::max_element(matches.begin(), matches.end(), [](const auto& a, const auto& b) {
        return a.second.size() < b.second.size();
    });
    if (best == matches.end()) {
        std::cerr << "No read offset within " << rip::DetectionMargin
                  << " samples matches AccurateRip: this pressing may not be in the database\n";
        return ExitFailed;
    }
    const int offset = best->first;
    std::printf("Read offset: %s%d (%zu of %zu tracks agree)\n", offset > 0 ? "+" : "", offset,
                best->second.size(), tried);
    if (!save) {
        return ExitOk;
    }
    const std::string path = rip::DefaultOffsetTablePath();
    rip::OffsetTable table;
    std::string error;
    if (!rip::LoadOffsetTable(path, table, error)) {
        std::cerr << error << '\n';
        return ExitFailed;
    }
    rip::SetOffset(table, drive.Manufacturer(), drive.Name(), offset);
    if (!rip::SaveOffsetTable(path, table, error)) {
        std::cerr << error << '\n';
        return ExitFailed;
    }
    std::printf("Saved for %s %s in %s\n", drive.Manufacturer().c_str(), drive.Name().c_str(), path.c_str());
    return ExitOk;
}

} // namespace tolvane::cli
