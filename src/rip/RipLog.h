// The log of a rip, as a user shows it to prove a copy: the drive and how it was read, then per
// track its range, peak level, CRCs, the databases' verdicts and the positions that could not be
// confirmed. The plain text is made here; the CLI writes the same facts as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::rip {

struct TrackLog {
    int number = 0;
    std::int32_t lba = 0;
    std::int32_t sectors = 0;
    std::string file;
    std::uint32_t peak = 0; // 0 to 32768
    std::uint32_t crc32 = 0;
    std::uint32_t withoutNulls = 0;
    std::uint32_t accurateRipV1 = 0;
    std::uint32_t accurateRipV2 = 0;
    std::string accurateRip; // the verdict, empty when not checked
    std::string ctdb;
    std::uint32_t rereadSectors = 0;
    std::vector<std::int32_t> suspicious;
    bool copied = false;       // false: the copy failed or was cancelled
    std::int32_t pregap = -1;  // blocks of INDEX 00 the gap scan found; -1: no scan
    bool preEmphasis = false;  // the Q sub-channel says the audio was recorded with pre-emphasis
    bool tested = false;       // a test pass read the track first
    std::uint32_t testCrc = 0; // its CRC32, to hold against the copy's
};

struct RipLog {
    std::string program;  // "Tolvane 1.0.0"
    std::string drive;    // vendor, product, revision
    std::string readMode; // "Secure, with C2 error pointers", "Burst"
    int offset = 0;
    std::string offsetSource; // where the offset came from: "given", "from the drive table"
    bool overread = false;
    std::string cache; // what the cache measurement found
    std::string gaps;  // what the gap scan found, empty when none ran
    std::uint64_t silentSamples = 0;
    std::string accurateRipId;
    std::string musicBrainzId;
    std::string ctdbTocId;
    std::vector<TrackLog> tracks;
    std::string accurateRipSummary; // "all 12 tracks accurately ripped", "not checked: …"
    std::string ctdbSummary;
    bool cancelled = false;
};

// "02:44.20" (minutes, seconds, frames) of a block count.
std::string Duration(std::int32_t blocks);

std::string LogText(const RipLog& log);

} // namespace tolvane::rip
