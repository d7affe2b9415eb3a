#include "cli/Commands.h"

#include "cli/CommandSupport.h"
#include "cli/Options.h"
#include "disc/InformationReport.h"
#include "disc/TrackTable.h"
#include "net/Databases.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace tolvane::cli {

volatile std::sig_atomic_t Interrupted = 0;

namespace {

constexpr const char* NoDrives = "No CD/DVD drives found or ASPI/SPTI not available";

const std::vector<std::string> TrackHeadings{"Track",        "Mode", "LBA",   "MSF",   "Raw Size",
                                             "Digital Copy", "ISRC", "Title", "Artist"};

std::string Speeds(std::int16_t maximum, std::int16_t current)
{
    return std::to_string(maximum) + "x / " + std::to_string(current) + "x";
}

// Display width of UTF-8 text: one column per character.
std::size_t Width(const std::string& s)
{
    std::size_t w = 0;
    for (const unsigned char c : s) {
        w += (c & 0xC0) != 0x80;
    }
    return w;
}

void PrintTable(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - Width(row[i]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << '\n';
    }
}

nlohmann::ordered_json TextJson(const tolvane::CDText& t)
{
    return {{"Title", t.Title()}, {"Artist", t.Artist()}};
}

nlohmann::ordered_json CdJson(const tolvane::CD& cd)
{
    return {{"AbstractFileIdentifier", cd.AbstractFileIdentifier()},
            {"ApplicationIdentifier", cd.ApplicationIdentifier()},
            {"BibliographicalFileIdentifier", cd.BibliographicalFileIdentifier()},
            {"CDDB", cd.CDDB()},
            {"CopyrightFileIdentifier", cd.CopyrightFileIdentifier()},
            {"DataPreparerIdentifier", cd.DataPreparerIdentifier()},
            {"DiscFormat", cd.DiscFormat()},
            {"DiscStatus", cd.DiscStatus()},
            {"DiscType", cd.DiscType()},
            {"Erasable", cd.Erasable()},
            {"LogicalBlockSize", cd.LogicalBlockSize()},
            {"LPathTableLocation", cd.LPathTableLocation()},
            {"MPathTableLocation", cd.MPathTableLocation()},
            {"OptionalLPathTableLocation", cd.OptionalLPathTableLocation()},
            {"OptionalMPathTableLocation", cd.OptionalMPathTableLocation()},
            {"PathTableSize", cd.PathTableSize()},
            {"PublisherIdentifier", cd.PublisherIdentifier()},
            {"SerialNumber", cd.SerialNumber()},
            {"Sessions", cd.Sessions()},
            {"SystemIdentifier", cd.SystemIdentifier()},
            {"TotalLogicalBlocks", cd.TotalLogicalBlocks()},
            {"TotalRawSize", cd.TotalRawSize().Whole()},
            {"UPC", cd.UPC()},
            {"VolumeCreation", cd.VolumeCreation()},
            {"VolumeEffective", cd.VolumeEffective()},
            {"VolumeExpiration", cd.VolumeExpiration()},
            {"VolumeIdentifier", cd.VolumeIdentifier()},
            {"VolumeModification", cd.VolumeModification()},
            {"VolumeSetIdentifier", cd.VolumeSetIdentifier()},
            {"VolumeSpaceSize", cd.VolumeSpaceSize()}};
}

} // namespace

// The disc object's reason for a failure, on a line of its own, when the user asked for it.
void Reason(const OpticalDisk& disc, bool verbose)
{
    if (verbose && !disc.ErrorMessage().empty()) {
        std::cerr << "  (" << disc.ErrorMessage() << ")\n";
    }
}

// Check, then Read: the main window's Refresh. Prints the failure and returns false.
bool ReadDisc(OpticalDisk& disc, bool verbose)
{
    if (!disc.Check()) {
        std::cerr << MediaNotPresent << '\n';
        return false;
    }
    if (!disc.Read()) {
        std::cerr << ErrorReadingTracks << '\n';
        Reason(disc, verbose);
        return false;
    }
    return true;
}

// The release MusicBrainz lists for the disc, or why there is none (on stderr).
net::MusicBrainzRelease AskMusicBrainz(OpticalDisk& disc, const Online& online)
{
    const std::string id = ids::IdentifiersOf(disc).musicBrainz;
    if (id.empty()) {
        return {};
    }
    net::HttpClient http = net::MusicBrainzClient();
    net::MusicBrainzRelease release = net::LookupMusicBrainz(http, online.services, id);
    if (!release.error.empty()) {
        std::cerr << "MusicBrainz: not asked: " << release.error << '\n';
    } else if (!release.found) {
        std::cerr << "MusicBrainz: the disc " << id << " is not in the database\n";
    }
    return release;
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

int ListDrives(const OpticalDrives& drives)
{
    if (drives.Count() < 1) {
        std::cerr << NoDrives << '\n';
        return ExitFailed;
    }
    // The identification strings are shown as the drive returns them, padding included.
    // Headed like the device dialog's columns, then what only the CLI shows.
    std::vector<std::vector<std::string>> rows{
        {"Letter", "Name", "Revision", "Manufacturer", "Interface", "Read max/cur", "Write max/cur"}};
    for (std::int16_t i = 0; i < drives.Count(); ++i) {
        const OpticalDriveItem* d = drives.Item(i);
        rows.push_back({d->Letter(), d->Name(), d->Revision(), d->Manufacturer(), d->Interface(),
                        Speeds(d->ReadMaximumSpeed(), d->ReadCurrentSpeed()),
                        Speeds(d->WriteMaximumSpeed(), d->WriteCurrentSpeed())});
    }
    PrintTable(rows);
    return ExitOk;
}

int Info(OpticalDisk& disc, const OpticalDriveItem& drive, bool json, const Online& online, bool verbose)
{
    if (!ReadDisc(disc, verbose)) {
        return ExitFailed;
    }
    const net::MusicBrainzRelease release =
        online.musicBrainz ? AskMusicBrainz(disc, online) : net::MusicBrainzRelease{};
    const std::vector<int> tracks = TocTracks(disc);
    if (json) {
        nlohmann::ordered_json out;
        out["Drive"] = {{"Letter", drive.Letter()},
                        {"Interface", drive.Interface()},
                        {"Manufacturer", drive.Manufacturer()},
                        {"Name", drive.Name()},
                        {"Revision", drive.Revision()},
                        {"ReadMaximumSpeed", drive.ReadMaximumSpeed()},
                        {"ReadCurrentSpeed", drive.ReadCurrentSpeed()},
                        {"WriteMaximumSpeed", drive.WriteMaximumSpeed()},
                        {"WriteCurrentSpeed", drive.WriteCurrentSpeed()}};
        out["CD"] = CdJson(*disc.CD());
        out["CDText"] = TextJson(*disc.CDText());
        out["DVD"] = {{"Layers", disc.DVD()->Layers()}, {"Region", disc.DVD()->Region()}};
        const ids::Identifiers found = ids::IdentifiersOf(disc);
        out["Identifiers"] = {{"AccurateRip", found.accurateRip ? found.accurateRip->Text() : ""},
                              {"AccurateRipUrl", found.accurateRip ? found.accurateRip->Url() : ""},
                              {"MusicBrainz", found.musicBrainz},
                              {"MusicBrainzUrl", found.musicBrainzUrl},
                              {"CtdbTocId", found.ctdb}};
        if (release.found) {
            auto& mb = out["MusicBrainz"] = {{"Album", release.album}, {"Artist", release.artist}};
            mb["Tracks"] = nlohmann::ordered_json::array();
            for (const int n : AudioTracks(disc)) {
                if (const auto* t = TitleOf(disc, n, release)) {
                    mb["Tracks"].push_back({{"Number", n}, {"Title", t->title}, {"Artist", t->artist}});
                }
            }
        }
        out["Count"] = disc.Count();
        out["Tracks"] = nlohmann::ordered_json::array();
        for (const int n : tracks) {
            const auto t = disc.Track(static_cast<std::int16_t>(n));
            const auto text = t->CDText() ? t->CDText() : std::make_shared<const tolvane::CDText>();
            out["Tracks"].push_back({{"Number", n},
                                     {"Mode", t->Mode()},
                                     {"LBA", t->LBA()},
                                     {"LogicalBlocks", t->LogicalBlocks()},
                                     {"MSF", t->MSF()},
                                     {"RawSize", t->RawSize().Whole()},
                                     {"DigitalCopy", t->DigitalCopy()},
                                     {"Preemphasis2", t->Preemphasis2()},
                                     {"Preemphasis4", t->Preemphasis4()},
                                     {"ISRC", t->ISRC()},
                                     {"CDText", TextJson(*text)}});
        }
        std::cout << out.dump(2) << '\n';
        return ExitOk;
    }

    std::vector<std::vector<std::string>> facts;
    for (const InformationRow& row :
         InformationRows(true, *disc.CD(), *disc.CDText(), *disc.DVD(), ids::IdentifiersOf(disc))) {
        facts.push_back({row.label + ":", row.value});
    }
    if (release.found) {
        facts.push_back({"MusicBrainz Album:", release.album});
        facts.push_back({"MusicBrainz Artist:", release.artist});
        for (const int n : AudioTracks(disc)) {
            if (const auto* t = TitleOf(disc, n, release)) {
                facts.push_back({"  Track " + std::to_string(n) + ":", t->title + " (" + t->artist + ")"});
            }
        }
    }
    PrintTable(facts);
    std::cout << '\n';
    if (tracks.empty()) {
        std::cerr << NoTracksFound << '\n';
        return ExitOk;
    }
    std::vector<std::vector<std::string>> rows{TrackHeadings};
    for (const int n : tracks) {
        rows.push_back(TrackCells(disc, n));
    }
    PrintTable(rows);
    return ExitOk;
}

int Report(OpticalDisk& disc, const std::string& file, bool verbose)
{
    // As the information window: without a medium the report is the one line that says so.
    const bool present = disc.Check();
    if (present && !disc.Read()) {
        std::cerr << ErrorReadingTracks << '\n';
        Reason(disc, verbose);
        return ExitFailed;
    }
    const std::string text = InformationReport(
        InformationRows(present, *disc.CD(), *disc.CDText(), *disc.DVD(), ids::IdentifiersOf(disc)));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
    }
    if (!out) {
        std::cerr << ErrorWriting << ": " << file << ": " << std::strerror(errno) << '\n';
        return ExitFailed;
    }
    return ExitOk;
}

int Eject(OpticalDisk& disc)
{
    disc.Eject();
    return ExitOk;
}

int Load(OpticalDisk& disc)
{
    disc.Load();
    return ExitOk;
}

} // namespace tolvane::cli
