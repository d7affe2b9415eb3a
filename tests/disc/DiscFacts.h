// What the disc object's tests share: every fact of a read as named texts (so a
// test compares whole reads and a failure names the fact), discs built by hand
// for the virtual drive, and a fake drive that lets chosen commands fail or
// answers them itself while a virtual drive answers the rest.
#pragma once

#include "disc/OpticalDisk.h"
#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "support/FakePlatform.h"
#include "util/ByteOrder.h"
#include "util/Clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::test {

// Keys: the CD and DVD record fields by name ("DiscStatus", "Layers"), the disc's
// CD-Text as "Title" and "Artist", "Count", and per track "track N Field"
// ("track 3 MSF", "track 3 Title").
using Facts = std::map<std::string, std::string>;

Facts FactsOf(OpticalDisk& disc);
// The value a fact has when nothing was learned about it (the records' defaults).
std::string DefaultFact(const std::string& key);
// Whether `key` is named by `pattern`: equal, or "track * Field" for that field of every track.
bool FactMatches(const std::string& pattern, const std::string& key);
// One failure per fact that differs, naming it; missing and extra facts included.
void ExpectFacts(const Facts& expected, const Facts& actual);

// The disc address of a logical block as the 24-bit 00MMSSFF word of a TOC in MSF form.
std::uint32_t MsfWord(std::int32_t lba);

// --- Discs built by hand -------------------------------------------------------

struct TrackSpec {
    TrackSpec(std::uint8_t n, emulator::TrackMode m, std::int32_t lba, std::uint8_t ctl = 0,
              std::uint8_t s = 1, std::string code = {})
        : number(n), mode(m), start(lba), control(ctl), session(s), isrc(std::move(code))
    {
    }

    std::uint8_t number;
    emulator::TrackMode mode;
    std::int32_t start; // INDEX 01
    std::uint8_t control;
    std::uint8_t session;
    std::string isrc;
};

// A CD whose tracks end where the next track of their session starts, or at their
// session's lead-out; every block reads as zeros. `sessions` gives each session's
// number, lead-out and disc type; the capacity is the last lead-out.
std::shared_ptr<emulator::Disc> BuildCd(const std::vector<TrackSpec>& tracks,
                                        const std::vector<emulator::Session>& sessions,
                                        emulator::MediaKind media = emulator::MediaKind::PressedCd);
// A DVD of `blocks` zero blocks; the drive gives it its one data track.
std::shared_ptr<emulator::Disc> BuildDvd(emulator::MediaKind media, std::int32_t blocks, std::uint8_t layers,
                                         std::uint8_t regions);

// --- A virtual drive behind a fake platform --------------------------------------

// Decides about one command before the virtual drive sees it: an answer of its
// own, or nothing to let the drive answer.
using Intercept = std::function<std::optional<ScsiResult>(ConstBytes cdb, Bytes data)>;

// A CHECK CONDITION a drive gives for a command it cannot carry out (HARDWARE ERROR / 44/00).
ScsiResult Refused();

struct FakeRig {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    fake::FakePlatform platform;
    std::shared_ptr<emulator::EmulatedDrive> drive = std::make_shared<emulator::EmulatedDrive>(clock);
    Intercept intercept;
    OpticalDisk disc{platform, clock};

    // The disc goes into the drive at D:, and the disc object is bound to it.
    explicit FakeRig(std::shared_ptr<const emulator::Disc> image);
};

} // namespace tolvane::test
