// What the table of contents does not say about an audio CD, found in the Q sub-channel: each
// track's pregap (INDEX 00) and further indexes (INDEX 02 ...), its pre-emphasis and ISRC, the
// disc's media catalogue number, and the hidden audio before track 1 (HTOA).
//
// The TOC gives only INDEX 01. Within a track the index in Q only grows, so a boundary is found
// by binary search over single-block reads of formatted Q; the usual pregap lengths are tried
// first, and a read of the first 100 blocks of each track finds its ISRC (a pressed disc repeats
// it at least once in 100 blocks). A code frame (ADR 2 or 3) or a frame whose CRC fails says
// nothing about its position, so a neighbouring block is read instead; every position frame is
// placed by its own absolute time, as some drives answer with a neighbour's Q. The finder sends
// READ CD through the transport it is given and counts what it sent; nothing here writes files.
//
// A ripper calls it after reading the TOC:
//     GapFinder finder(disc.Transport());
//     DiscGaps gaps;
//     if (!finder.Find(ids::LayoutOf(disc), gaps)) { /* log finder.Error(); rip without gaps */ }
//     if (gaps.HasHtoa()) { Silence s = CheckSilence(disc.Transport(), 0, gaps.htoaEnd, offset);
//                           /* rip [0, htoaEnd) as track 0 when s.ok && !s.silent */ }
#pragma once

#include "device/MMC.h"
#include "disc/DiscIds.h"
#include "rip/SubQ.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::rip {

struct TrackGaps {
    std::uint8_t number = 0;
    std::int32_t start = 0;       // INDEX 01, as the table of contents gives it
    std::int32_t pregapStart = 0; // INDEX 00; equal to start when the track has no pregap
    // INDEX 02, 03 ... with the first block of each, in order; an index the disc skips is absent.
    std::vector<std::pair<std::uint8_t, std::int32_t>> indexes;
    bool preEmphasis = false; // Q control bit 0x1 in the track's own audio
    std::string isrc;         // empty when the disc has none for the track (all zeros is none)
    // False when unreadable Q around a boundary left it unconfirmed: the boundary given is then
    // the first block known to be past it.
    bool certain = true;

    std::int32_t PregapLength() const { return start - pregapStart; }
};

struct DiscGaps {
    std::vector<TrackGaps> tracks; // the audio tracks, in order
    std::string mcn;               // empty when none (all zeros is none)
    // Audio before track 1's INDEX 01, from block 0: [0, htoaEnd); htoaEnd is 0 when there is none.
    std::int32_t htoaEnd = 0;
    // What it took.
    std::uint32_t commands = 0;   // READ CD commands sent
    std::uint32_t blocks = 0;     // blocks whose Q they transferred
    std::uint32_t unreadable = 0; // frames that failed their CRC or whose read failed
    bool withMainChannel = false; // the drive gave Q only together with the audio

    bool HasHtoa() const { return htoaEnd > 0; }
};

class GapFinder {
public:
    explicit GapFinder(MMC& mmc);

    // Finds the gaps of every audio track of `toc` (the disc's tracks with their INDEX 01 and
    // its final lead-out; an Enhanced CD's audio ends at ids::AudioEnd). False with Error() when
    // the drive does not give the Q sub-channel, could read none of it, or `toc` has no audio
    // track; `gaps` then holds no tracks.
    bool Find(const ids::TocLayout& toc, DiscGaps& gaps);

    const std::string& Error() const { return error_; }

    // Farthest a probe strays from the block it wanted when that block's Q is no position.
    static constexpr std::int32_t MaxStray = 4;
    // Blocks read at the start of each track for its ISRC.
    static constexpr std::int32_t CodeRun = 100;

private:
    struct Position {
        std::uint8_t track = 0;
        std::uint8_t index = 0;
        std::uint8_t control = 0;
    };
    struct Boundary {
        std::int32_t at = 0;
        bool certain = true;
    };
    // How the drive gives Q: not yet known, alone, with the audio (QOnly was refused), refused.
    enum class Mode : std::uint8_t { Unknown, QOnly, TryMain, WithMain, Refused };

    bool Read(std::int32_t lba, std::int32_t count, std::vector<std::uint8_t>& q);
    void Note(const QFrame& frame);
    std::optional<std::int32_t> Probe(std::int32_t near, std::int32_t lo, std::int32_t hi);
    Boundary FirstAtLeast(std::int32_t lo, std::int32_t hi, int target, std::vector<std::int32_t> hints);
    void ScanCodes(TrackGaps& track, std::int32_t end);
    void FindIndexes(TrackGaps& track, std::int32_t bodyEnd);

    MMC& mmc_;
    Mode mode_ = Mode::Unknown;
    std::map<std::int32_t, Position> known_; // every position frame read, by its own address
    std::set<std::int32_t> tried_;           // blocks asked for one at a time
    std::int32_t lag_ = 0;                   // how far the drive's Q runs ahead of the block asked
    DiscGaps* gaps_ = nullptr;
    std::string error_;
};

// Whether blocks [first, first + count) hold only digital silence, read with the drive's read
// offset corrected (`offset` samples, as rip::Settings has it); samples before block 0 count as
// silence. For HTOA: the ripper keeps it as "track 0" only when it is not silent.
struct Silence {
    bool ok = false;     // the audio could be read
    bool silent = false; // every sample is zero
    std::string error;
    std::uint32_t commands = 0;
};
Silence CheckSilence(MMC& mmc, std::int32_t first, std::int32_t count, int offset = 0);

} // namespace tolvane::rip
