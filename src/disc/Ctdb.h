// The CUETools database's answer for a disc and what it says of the tracks a user extracted: a
// second opinion beside AccurateRip's. Pure functions of the answer's text and of the checksums.
#pragma once

#include "disc/DiscIds.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::ctdb {

// The TOC the database is asked with: every track's start, a data track's with a '-' before it,
// then the disc's end ("0:16032:32072:47282:62810").
std::string TocText(const ids::TocLayout& toc);

// Where the disc's audio ends in samples, as the database counts it for the last track's tail:
// from the first audio track's pregap (block 0 when that is track 1).
std::uint64_t AudioSamples(const ids::TocLayout& toc);

// One submitted rip of the disc: how many people sent it, its whole-disc CRC and its tracks' CRCs.
struct Entry {
    unsigned confidence = 0;
    std::uint32_t crc = 0;
    std::vector<std::uint32_t> tracks;
};

struct Response {
    std::vector<Entry> entries; // none for a disc the database does not know
    std::string error;          // why the text is not an answer of the database; empty when it is
};

// Decodes the XML of lookup2.php (version 3). Anything but a <ctdb> document, or an entry whose
// numbers do not read, is an error, never a match.
Response Decode(const std::string& xml);

struct Verdict {
    bool present = false;    // some entry lists the track (or the disc)
    unsigned confidence = 0; // of the entries that match; 0 is a mismatch when present
    unsigned total = 0;      // of every entry that lists it
};

// A track's CRC (0 for the first audio track) and the whole disc's against every entry.
Verdict CheckTrack(const Response& response, std::size_t audioTrack, std::uint32_t crc);
Verdict CheckDisc(const Response& response, std::uint32_t crc);

// "accurately ripped (confidence 8 of 10)", "not present in database" or "mismatch (0 of 10)".
std::string Text(const Verdict& verdict);

} // namespace tolvane::ctdb
