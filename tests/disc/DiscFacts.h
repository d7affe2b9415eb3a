// Shared by the disc tests: a read's facts as named texts, discs built by hand, a fake drive rig.
#pragma once

#include "disc/OpticalDisk.h"
#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "support/FakePlatform.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <locale>
#include <map>
#include <type_traits>

namespace tolvane::test {

// Record fields by name ("DiscStatus"), the disc's CD-Text as "Title"/"Artist", "Count",
// and per track "track N Field" ("track 3 MSF").
using Facts = std::map<std::string, std::string>;

namespace facts_detail {
template <typename T> std::string Text(const T& v)
{
    if constexpr (std::is_same_v<T, bool>) {
        return v ? "true" : "false";
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else if constexpr (std::is_same_v<T, FixedPoint>) { // a fraction of a byte would be a fault
        return v.IsWhole() ? std::to_string(v.Whole()) : "fraction " + std::to_string(v.Raw());
    } else {
        return v;
    }
}
#define TOLVANE_FACT(r, name) f[p + #name] = Text(r.name())

inline void AddRecords(Facts& f, const CD& cd, const DVD& dvd, const CDText& text)
{
    const std::string p;
    TOLVANE_FACT(cd, AbstractFileIdentifier), TOLVANE_FACT(cd, ApplicationIdentifier);
    TOLVANE_FACT(cd, BibliographicalFileIdentifier), TOLVANE_FACT(cd, CDDB);
    TOLVANE_FACT(cd, CopyrightFileIdentifier), TOLVANE_FACT(cd, DataPreparerIdentifier);
    TOLVANE_FACT(cd, DiscFormat), TOLVANE_FACT(cd, DiscStatus), TOLVANE_FACT(cd, DiscType);
    TOLVANE_FACT(cd, Erasable), TOLVANE_FACT(cd, LogicalBlockSize), TOLVANE_FACT(cd, LPathTableLocation);
    TOLVANE_FACT(cd, MPathTableLocation), TOLVANE_FACT(cd, OptionalLPathTableLocation);
    TOLVANE_FACT(cd, OptionalMPathTableLocation), TOLVANE_FACT(cd, PathTableSize);
    TOLVANE_FACT(cd, PublisherIdentifier), TOLVANE_FACT(cd, SerialNumber), TOLVANE_FACT(cd, Sessions);
    TOLVANE_FACT(cd, SystemIdentifier), TOLVANE_FACT(cd, TotalLogicalBlocks), TOLVANE_FACT(cd, TotalRawSize);
    TOLVANE_FACT(cd, UPC), TOLVANE_FACT(cd, VolumeCreation), TOLVANE_FACT(cd, VolumeEffective);
    TOLVANE_FACT(cd, VolumeExpiration), TOLVANE_FACT(cd, VolumeIdentifier),
        TOLVANE_FACT(cd, VolumeModification);
    TOLVANE_FACT(cd, VolumeSetIdentifier), TOLVANE_FACT(cd, VolumeSpaceSize);
    TOLVANE_FACT(dvd, Layers), TOLVANE_FACT(dvd, Region), TOLVANE_FACT(text, Title),
        TOLVANE_FACT(text, Artist);
}

inline void AddTrack(Facts& f, const std::string& p, const Track& t)
{
    TOLVANE_FACT(t, DigitalCopy), TOLVANE_FACT(t, ISRC), TOLVANE_FACT(t, LBA), TOLVANE_FACT(t, LogicalBlocks);
    TOLVANE_FACT(t, Mode), TOLVANE_FACT(t, MSF), TOLVANE_FACT(t, Preemphasis2), TOLVANE_FACT(t, Preemphasis4);
    TOLVANE_FACT(t, RawSize);
    const auto text = t.CDText(); // every listed track has a text record of its own
    f[p + "Title"] = text ? text->Title() : "(no text record)";
    f[p + "Artist"] = text ? text->Artist() : "(no text record)";
}
#undef TOLVANE_FACT

// "track 12 MSF" -> "MSF"; empty for keys that are not about a track.
inline std::string TrackField(const std::string& key)
{
    const auto space = key.rfind("track ", 0) == 0 ? key.find(' ', 6) : std::string::npos;
    return space == std::string::npos ? std::string() : key.substr(space + 1);
}
} // namespace facts_detail

inline Facts FactsOf(OpticalDisk& disc)
{
    Facts f;
    facts_detail::AddRecords(f, *disc.CD(), *disc.DVD(), *disc.CDText());
    f["Count"] = std::to_string(disc.Count());
    for (int n = 1; n <= disc.Count(); ++n) {
        if (const auto track = disc.Track(static_cast<std::int16_t>(n))) {
            facts_detail::AddTrack(f, "track " + std::to_string(n) + " ", *track);
        }
    }
    return f;
}

// The value a fact has when nothing was learned about it (the records' defaults).
inline std::string DefaultFact(const std::string& key)
{
    static const Facts defaults = [] {
        Facts f;
        facts_detail::AddRecords(f, CD(), DVD(), CDText());
        f["Count"] = "0";
        facts_detail::AddTrack(f, "track ", Track());
        f["track Title"] = f["track Artist"] = ""; // a read gives each track an empty text record
        return f;
    }();
    const std::string field = facts_detail::TrackField(key);
    const auto it = defaults.find(field.empty() ? key : "track " + field);
    return it == defaults.end() ? "(unknown fact " + key + ")" : it->second;
}

// Equal, "track * Field" for that field of every track, or "volume *" for the ISO 9660 volume's.
inline bool FactMatches(const std::string& pattern, const std::string& key)
{
    if (pattern == "volume *") {
        return key.rfind("track ", 0) != 0 &&
               (key.find("Identifier") != std::string::npos || key.rfind("Volume", 0) == 0 ||
                key.find("PathTable") != std::string::npos || key == "LogicalBlockSize");
    }
    return pattern.rfind("track * ", 0) == 0 ? facts_detail::TrackField(key) == pattern.substr(8)
                                             : pattern == key;
}

// One failure per differing fact; missing and extra ones too unless `some` (only what `expected` names).
inline void ExpectFacts(const Facts& expected, const Facts& actual, bool some = false)
{
    const auto at = [](const Facts& f, const std::string& key) {
        const auto it = f.find(key);
        return it == f.end() ? "(missing)" : it->second;
    };
    Facts keys = expected;
    keys.insert(actual.begin(), some ? actual.begin() : actual.end());
    for (const auto& kv : keys) {
        EXPECT_EQ(at(actual, kv.first), at(expected, kv.first)) << kv.first;
    }
}

// "Count=3|track 1 MSF=00:02:00": facts written as one text; "Count|track * MSF": names alone.
inline Facts Parse(const std::string& text)
{
    Facts f;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bar = std::min(text.find('|', at), text.size());
        const std::size_t eq = std::min(text.find('=', at), bar);
        f[text.substr(at, eq - at)] = eq < bar ? text.substr(eq + 1, bar - eq - 1) : "";
        at = bar + 1;
    }
    return f;
}

// Reads the disc in the virtual drive, dates in the classic locale, and checks the facts `expected` names.
inline void ExpectRead(const std::shared_ptr<const emulator::Disc>& disc, const std::string& expected)
{
    VirtualRig rig(disc);
    rig.disc->SetLocale(std::locale::classic());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    ExpectFacts(Parse(expected), FactsOf(*rig.disc), true);
}

using DiscMaker = std::function<std::shared_ptr<const emulator::Disc>()>;
inline DiscMaker Image(const char* relative)
{
    return [relative] { return LoadTestImage(relative); };
}

struct BuiltTrack {
    std::uint8_t number;
    emulator::TrackMode mode;
    std::int32_t start; // INDEX 01
    std::uint8_t control = 0;
    std::uint8_t session = 1;
};

// A CD of zero blocks whose tracks end where the next of their session starts, or at their
// session's lead-out; the capacity is the last lead-out.
inline std::shared_ptr<emulator::Disc> BuildCd(const std::vector<BuiltTrack>& tracks,
                                               const std::vector<emulator::Session>& sessions)
{
    using emulator::TrackMode;
    static const auto zeros = std::make_shared<emulator::ZeroSource>();
    auto disc = std::make_shared<emulator::Disc>();
    disc->name = "built by hand";
    disc->media = emulator::MediaKind::PressedCd;
    disc->sessions = sessions;
    disc->capacity = sessions.back().leadOut;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const BuiltTrack& want = tracks[i];
        emulator::Track t;
        t.number = want.number;
        t.session = want.session;
        t.mode = want.mode;
        t.control = want.control;
        t.start = want.start;
        t.pregapStart = i == 0 ? 0 : want.start; // blocks before track 1's INDEX 01 are its pregap
        if (i + 1 < tracks.size() && tracks[i + 1].session == want.session) {
            t.end = tracks[i + 1].start;
        } else {
            for (const emulator::Session& s : sessions) {
                t.end = s.number == want.session ? s.leadOut : t.end;
            }
        }
        const auto format = want.mode == TrackMode::Audio   ? emulator::SectorFormat::Audio
                            : want.mode == TrackMode::Mode1 ? emulator::SectorFormat::Mode1Data
                                                            : emulator::SectorFormat::Mode2Data;
        disc->extents.push_back(emulator::Extent{t.pregapStart, t.end - t.pregapStart, format, zeros, 0});
        disc->tracks.push_back(t);
    }
    return disc;
}

// Decides about one command before the virtual drive sees it: an answer of its own, or nothing.
using Intercept = std::function<std::optional<ScsiResult>(ConstBytes cdb, Bytes data)>;

// A virtual drive at D: behind a fake platform, the disc object bound to it.
struct FakeRig {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    fake::FakePlatform platform;
    std::shared_ptr<emulator::EmulatedDrive> drive = std::make_shared<emulator::EmulatedDrive>(clock);
    Intercept intercept;
    OpticalDisk disc{platform, clock};

    explicit FakeRig(std::shared_ptr<const emulator::Disc> image)
    {
        if (image) {
            drive->Insert(std::move(image));
        }
        platform.AddDrive('D').handler = [this](ConstBytes cdb, Bytes data) {
            if (intercept) {
                if (auto answer = intercept(cdb, data)) {
                    return *answer;
                }
            }
            return drive->Execute(cdb, data);
        };
        EXPECT_TRUE(disc.Create("D:")) << disc.ErrorMessage();
    }
};

} // namespace tolvane::test
