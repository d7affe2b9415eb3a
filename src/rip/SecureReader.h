// Secure reading of audio sectors: every sector's bytes are kept only once the drive has confirmed
// them (no C2 error flags, or two reads that agree), re-read with the drive's cache defeated where
// they are not, and corrected for the drive's read offset. The reader sends its own READ CD blocks
// through the disc object's transport; nothing here writes files.
#pragma once

#include "device/MMC.h"
#include "util/ByteOrder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane::rip {

struct Settings {
    // The drive's read offset correction in samples: +667 means the drive delivers every sample
    // 667 positions early, so sample k is read at k + 667.
    int offset = 0;
    // Reads of one sector, at most, before its most frequent answer is kept as suspicious.
    int maxReads = 20;
    // Use the drive's C2 error pointers when it gives them: a sector it reports clean is read once.
    bool useC2 = true;
    // Without C2, read each sector once and leave the confirming to the caller: the first try of
    // a track whose AccurateRip checksum can confirm the whole of it. Sectors that fail are still
    // read again until three reads agree.
    bool singlePass = false;
    // The drive reads into the lead-in and lead-out; otherwise samples there are silence.
    bool overread = false;
    // A read this many sectors away pushes a sector out of the drive's cache.
    std::int32_t cacheSectors = 1024;
    // Sectors compared per pass when every sector is read twice (no C2): far more than a burst,
    // so the cache defeat between the passes costs little. Bursts are as long as the host lets
    // one command be, so fewer commands cost their fixed time.
    std::int32_t window = 20 * 27;
};

// What reading a range took and what could not be confirmed.
struct Report {
    bool c2 = false;                      // the drive's C2 pointers were used
    std::uint64_t sectorsRead = 0;        // blocks transferred by every read
    std::uint32_t rereadSectors = 0;      // sectors that needed more than the first reads
    std::uint32_t flaggedSectors = 0;     // sectors the drive flagged with C2 errors at least once
    std::vector<std::int32_t> suspicious; // sectors no two reads confirmed (the drive's addresses)
    std::uint64_t silentSamples = 0;      // samples outside the disc given as silence
};

class SecureReader {
public:
    // `discEnd`: the first block after the disc's last track (its lead-out).
    SecureReader(MMC& mmc, std::int32_t discEnd, Settings settings);

    // Called with each corrected block's 2,352 bytes in order; false stops the read.
    using Sink = std::function<bool(ConstBytes block)>;

    // The audio of blocks [first, first + count) as the disc holds it. False when the sink stopped
    // it (Error() "cancelled").
    bool Read(std::int32_t first, std::int32_t count, const Sink& sink, Report& report);

    const std::string& Error() const { return error_; }

    // Whether the drive gives C2 pointers (and they are used), asked of the drive once, at `at`.
    bool UsesC2(std::int32_t at);

private:
    struct Block;
    void ReadRaw(std::int32_t from, std::int32_t to, std::vector<std::uint8_t>& out, Report& report);
    void Pass(std::int32_t from, std::int32_t to, std::vector<Block>& blocks, Report& report);
    void Confirm(std::int32_t lba, Block& block, const Block* second, Report& report);
    bool ReadOne(std::int32_t lba, Block& block, Report& report);
    void DefeatCache(std::int32_t near, Report& report);

    MMC& mmc_;
    std::int32_t discEnd_;
    Settings settings_;
    bool c2_ = false;
    bool probed_ = false;
    // A block no read could get, failing otherwise than with a medium error: the drive stopped
    // answering (unplugged, tray opened), and the read ends with this message.
    std::string lost_;
    bool unanswered_ = false; // the current block's reads failed otherwise than with a medium error
    std::int32_t burst_ = 27; // blocks per READ CD
    std::string error_;
};

} // namespace tolvane::rip
