// AccurateRip's database response for a disc, and what it says of the tracks a user extracted.
// Pure functions of the response's bytes and of the checksums; fetching it is the network's job.
#pragma once

#include "disc/DiscIds.h"
#include "util/ByteOrder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::accuraterip {

// One submitted checksum of a track: how many people got it, the checksum (v1 or v2, whichever
// their ripper sent) and the checksum of the track's sector 450 alone (for offset finding).
struct TrackEntry {
    std::uint8_t confidence = 0;
    std::uint32_t crc = 0;
    std::uint32_t frame450 = 0;
};

// A response holds one block per pressing (or per group of drives that read it alike).
struct Pressing {
    std::uint32_t discId1 = 0;
    std::uint32_t discId2 = 0;
    std::uint32_t cddb = 0;
    std::vector<TrackEntry> tracks;
};

struct Response {
    std::vector<Pressing> pressings;
    std::string error; // why the bytes are not a response for the disc; empty when they are
};

// Decodes the bytes of dBAR-….bin. Every block must be whole and name the disc's own ids, so a
// truncated answer, an error page or another disc's file is an error, never a match.
Response Decode(ConstBytes body, const ids::AccurateRipId& disc);

enum class Outcome { Accurate, NotPresent, Mismatch };

struct Verdict {
    Outcome outcome = Outcome::NotPresent;
    unsigned confidence = 0; // of the matching submission
    bool v2 = false;         // the match was of the v2 checksum
    std::uint32_t crc = 0;   // the matching checksum
};

// The verdict on one audio track (0 for the first audio track) with its two checksums: v2 is
// tried first, as the newer one; a track no pressing lists is not present.
Verdict Check(const Response& response, std::size_t audioTrack, std::uint32_t v1, std::uint32_t v2);

// "accurately ripped (confidence 12) [v2]", "not present in database" or "mismatch".
std::string Text(const Verdict& verdict);

} // namespace tolvane::accuraterip
