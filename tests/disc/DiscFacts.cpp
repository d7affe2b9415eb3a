#include "disc/DiscFacts.h"

#include "util/Msf.h"

#include <gtest/gtest.h>

#include <set>

namespace tolvane::test {

namespace {

// A byte size as its whole number of bytes; a fraction would be a fault, so it shows.
std::string SizeText(FixedPoint size)
{
    return size.IsWhole() ? std::to_string(size.Whole()) : "fraction " + std::to_string(size.Raw());
}

std::string Flag(bool b)
{
    return b ? "true" : "false";
}

void AddRecords(Facts& f, const CD& cd, const DVD& dvd, const CDText& text)
{
    f["AbstractFileIdentifier"] = cd.AbstractFileIdentifier();
    f["ApplicationIdentifier"] = cd.ApplicationIdentifier();
    f["BibliographicalFileIdentifier"] = cd.BibliographicalFileIdentifier();
    f["CDDB"] = cd.CDDB();
    f["CopyrightFileIdentifier"] = cd.CopyrightFileIdentifier();
    f["DataPreparerIdentifier"] = cd.DataPreparerIdentifier();
    f["DiscFormat"] = cd.DiscFormat();
    f["DiscStatus"] = std::to_string(cd.DiscStatus());
    f["DiscType"] = cd.DiscType();
    f["Erasable"] = Flag(cd.Erasable());
    f["LogicalBlockSize"] = std::to_string(cd.LogicalBlockSize());
    f["LPathTableLocation"] = std::to_string(cd.LPathTableLocation());
    f["MPathTableLocation"] = std::to_string(cd.MPathTableLocation());
    f["OptionalLPathTableLocation"] = std::to_string(cd.OptionalLPathTableLocation());
    f["OptionalMPathTableLocation"] = std::to_string(cd.OptionalMPathTableLocation());
    f["PathTableSize"] = std::to_string(cd.PathTableSize());
    f["PublisherIdentifier"] = cd.PublisherIdentifier();
    f["SerialNumber"] = cd.SerialNumber();
    f["Sessions"] = std::to_string(cd.Sessions());
    f["SystemIdentifier"] = cd.SystemIdentifier();
    f["TotalLogicalBlocks"] = std::to_string(cd.TotalLogicalBlocks());
    f["TotalRawSize"] = SizeText(cd.TotalRawSize());
    f["UPC"] = cd.UPC();
    f["VolumeCreation"] = cd.VolumeCreation();
    f["VolumeEffective"] = cd.VolumeEffective();
    f["VolumeExpiration"] = cd.VolumeExpiration();
    f["VolumeIdentifier"] = cd.VolumeIdentifier();
    f["VolumeModification"] = cd.VolumeModification();
    f["VolumeSetIdentifier"] = cd.VolumeSetIdentifier();
    f["VolumeSpaceSize"] = std::to_string(cd.VolumeSpaceSize());
    f["Layers"] = std::to_string(dvd.Layers());
    f["Region"] = std::to_string(dvd.Region());
    f["Title"] = text.Title();
    f["Artist"] = text.Artist();
}

void AddTrack(Facts& f, const std::string& prefix, const Track& t)
{
    f[prefix + "DigitalCopy"] = Flag(t.DigitalCopy());
    f[prefix + "ISRC"] = t.ISRC();
    f[prefix + "LBA"] = std::to_string(t.LBA());
    f[prefix + "LogicalBlocks"] = std::to_string(t.LogicalBlocks());
    f[prefix + "Mode"] = t.Mode();
    f[prefix + "MSF"] = t.MSF();
    f[prefix + "Preemphasis2"] = Flag(t.Preemphasis2());
    f[prefix + "Preemphasis4"] = Flag(t.Preemphasis4());
    f[prefix + "RawSize"] = SizeText(t.RawSize());
    // Every track the table of contents lists has a text record of its own.
    const auto text = t.CDText();
    f[prefix + "Title"] = text ? text->Title() : "(no text record)";
    f[prefix + "Artist"] = text ? text->Artist() : "(no text record)";
}

const Facts& RecordDefaults()
{
    static const Facts defaults = [] {
        Facts f;
        AddRecords(f, CD(), DVD(), CDText());
        f["Count"] = "0";
        Track track;
        AddTrack(f, "track ", track);
        // A read gives every listed track a fresh text record: empty, not missing.
        f["track Title"] = "";
        f["track Artist"] = "";
        return f;
    }();
    return defaults;
}

// "track 12 MSF" -> "MSF"; empty for keys that are not about a track.
std::string TrackField(const std::string& key)
{
    if (key.rfind("track ", 0) != 0) {
        return {};
    }
    const auto space = key.find(' ', 6);
    return space == std::string::npos ? std::string() : key.substr(space + 1);
}

} // namespace

Facts FactsOf(OpticalDisk& disc)
{
    Facts f;
    AddRecords(f, *disc.CD(), *disc.DVD(), *disc.CDText());
    f["Count"] = std::to_string(disc.Count());
    for (int n = 1; n <= disc.Count(); ++n) {
        if (const auto track = disc.Track(static_cast<std::int16_t>(n))) {
            AddTrack(f, "track " + std::to_string(n) + " ", *track);
        }
    }
    return f;
}

std::string DefaultFact(const std::string& key)
{
    const std::string field = TrackField(key);
    const auto it = RecordDefaults().find(field.empty() ? key : "track " + field);
    return it == RecordDefaults().end() ? "(unknown fact " + key + ")" : it->second;
}

bool FactMatches(const std::string& pattern, const std::string& key)
{
    if (pattern.rfind("track * ", 0) == 0) {
        return TrackField(key) == pattern.substr(8);
    }
    return pattern == key;
}

void ExpectFacts(const Facts& expected, const Facts& actual)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : expected) {
        keys.insert(key);
    }
    for (const auto& [key, value] : actual) {
        keys.insert(key);
    }
    for (const std::string& key : keys) {
        const auto e = expected.find(key);
        const auto a = actual.find(key);
        if (e == expected.end()) {
            ADD_FAILURE() << key << " was not expected (\"" << a->second << "\")";
        } else if (a == actual.end()) {
            ADD_FAILURE() << key << " is missing (expected \"" << e->second << "\")";
        } else {
            EXPECT_EQ(a->second, e->second) << key;
        }
    }
}

std::uint32_t MsfWord(std::int32_t lba)
{
    const Msf m = Msf::FromLba(lba);
    return static_cast<std::uint32_t>(m.minute) << 16 | static_cast<std::uint32_t>(m.second) << 8 |
           static_cast<std::uint32_t>(m.frame);
}

std::shared_ptr<emulator::Disc> BuildCd(const std::vector<TrackSpec>& tracks,
                                        const std::vector<emulator::Session>& sessions,
                                        emulator::MediaKind media)
{
    using emulator::SectorFormat;
    using emulator::TrackMode;
    static const auto zeros = std::make_shared<emulator::ZeroSource>();
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "built by hand";
    disc->media = media;
    disc->sessions = sessions;
    disc->capacity = sessions.empty() ? 0 : sessions.back().leadOut;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TrackSpec& spec = tracks[i];
        emulator::Track t;
        t.number = spec.number;
        t.session = spec.session;
        t.mode = spec.mode;
        t.control = spec.control;
        t.isrc = spec.isrc;
        t.start = spec.start;
        // Blocks before the first track's INDEX 01 are its pregap.
        t.pregapStart = i == 0 ? 0 : spec.start;
        const bool lastOfSession = i + 1 == tracks.size() || tracks[i + 1].session != spec.session;
        if (!lastOfSession) {
            t.end = tracks[i + 1].start;
        } else {
            for (const emulator::Session& s : sessions) {
                if (s.number == spec.session) {
                    t.end = s.leadOut;
                }
            }
        }
        const SectorFormat format = spec.mode == TrackMode::Audio   ? SectorFormat::Audio
                                    : spec.mode == TrackMode::Mode1 ? SectorFormat::Mode1Data
                                                                    : SectorFormat::Mode2Data;
        disc->extents.push_back(emulator::Extent{t.pregapStart, t.end - t.pregapStart, format, zeros, 0});
        disc->tracks.push_back(t);
    }
    return disc;
}

std::shared_ptr<emulator::Disc> BuildDvd(emulator::MediaKind media, std::int32_t blocks, std::uint8_t layers,
                                         std::uint8_t regions)
{
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "DVD built by hand";
    disc->media = media;
    disc->layers = layers;
    disc->regions = regions;
    disc->capacity = blocks;
    disc->extents.push_back(emulator::Extent{0, blocks, emulator::SectorFormat::Mode1Data,
                                             std::make_shared<emulator::ZeroSource>(), 0});
    return disc;
}

ScsiResult Refused()
{
    return ScsiResult::CheckCondition(0x04, 0x44, 0x00);
}

FakeRig::FakeRig(std::shared_ptr<const emulator::Disc> image)
{
    if (image) {
        drive->Insert(std::move(image));
    }
    platform.AddDrive('D').handler = [this](std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data) {
        if (intercept) {
            if (auto answer = intercept(cdb, data)) {
                return *answer;
            }
        }
        return drive->Execute(cdb, data);
    };
    EXPECT_TRUE(disc.Create("D:")) << disc.ErrorMessage();
}

} // namespace tolvane::test
