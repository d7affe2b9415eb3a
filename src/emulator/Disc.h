// The disc a virtual drive holds: its sessions, tracks, identifiers, CD-Text,
// medium kind, and where the bytes of each sector come from.
//
// Loaders (cue, toc, iso) and the demo discs build a Disc; the drive answers
// commands from it and never changes it, so one Disc may be shared.
#pragma once

#include "emulator/SectorSource.h"
#include "util/CdText.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::emulator {

enum class TrackMode : std::uint8_t {
    Audio,
    Mode1,        // 2048 bytes of user data, EDC/ECC
    Mode2,        // formless Mode 2: 2336 bytes of user data
    Mode2Form1,   // CD-ROM XA form 1: sub-header, 2048 bytes, EDC/ECC
    Mode2Form2,   // CD-ROM XA form 2: sub-header, 2324 bytes, EDC
    Mode2FormMix, // CD-ROM XA, form given per sector by its sub-header
};

bool IsData(TrackMode mode);
// The data mode a drive reports for the track (READ HEADER byte 0, track information): 0, 1 or 2.
std::uint8_t DataModeOf(TrackMode mode);

// Bits of the Q sub-channel control nibble.
namespace control {
constexpr std::uint8_t PreEmphasis = 0x1;
constexpr std::uint8_t CopyPermitted = 0x2;
constexpr std::uint8_t Data = 0x4;
constexpr std::uint8_t FourChannel = 0x8;
} // namespace control

enum class MediaKind : std::uint8_t {
    PressedCd,
    CdR,
    CdRw,
    BlankCdR,
    BlankCdRw,
    DvdRom,
    DvdR,
    DvdRw,
    DvdPlusR,
    DvdPlusRw,
    DvdRam,
};

bool IsDvd(MediaKind kind);
bool IsRecordableCd(MediaKind kind); // has an ATIP
bool IsErasable(MediaKind kind);

enum class DiscStatus : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 2 };

struct Track {
    std::uint8_t number = 1;
    std::uint8_t session = 1;
    TrackMode mode = TrackMode::Audio;
    std::uint8_t control = 0; // the control nibble; the Data bit follows the mode
    // Where the pregap (INDEX 00) begins; equal to start when there is none.
    std::int32_t pregapStart = 0;
    // INDEX 01, the address the table of contents gives for the track.
    std::int32_t start = 0;
    // INDEX 02, 03 ... in order (INDEX 01 is start).
    std::vector<std::int32_t> moreIndexes;
    // One past the last block of the track: the next track's pregap, or the session's lead-out.
    std::int32_t end = 0;
    std::string isrc; // 12 characters or empty

    std::int32_t Length() const { return end - start; }
};

struct Session {
    std::uint8_t number = 1;
    // The first block of the session's lead-out.
    std::int32_t leadOut = 0;
    // The disc type of the full TOC's A0 point: 0x00 CD-DA or CD-ROM, 0x10 CD-I, 0x20 CD-ROM XA.
    std::uint8_t discType = 0x00;
};

using CdTextBlock = cdtext::Block;

// A run of consecutive blocks whose bytes come from one source.
struct Extent {
    std::int32_t start = 0;
    std::int32_t length = 0;
    SectorFormat format = SectorFormat::Audio;
    std::shared_ptr<const SectorSource> source;
    // The source's sector number for the first block of the extent.
    std::int64_t sourceSector = 0;

    std::int32_t End() const { return start + length; }
};

struct Disc {
    std::string name; // the image's file name, or the demo disc's title
    MediaKind media = MediaKind::PressedCd;
    DiscStatus status = DiscStatus::Complete;
    std::vector<Session> sessions; // in order; a DVD has one
    std::vector<Track> tracks;     // in order of their numbers, which are consecutive
    std::string mcn;               // 13 digits or empty
    std::vector<CdTextBlock> cdText;
    // Packs read from a file (18 bytes each); when present they are served as
    // they are, instead of the packs encoded from cdText.
    std::vector<std::uint8_t> cdTextPacks;
    std::uint8_t layers = 1;     // DVD
    std::uint8_t regions = 0xFF; // DVD: bit n set means playable in region n + 1
    // Readable blocks: the last session's lead-out on a CD, the volume size on a DVD.
    std::int32_t capacity = 0;
    std::vector<Extent> extents; // sorted by start, not overlapping; gaps read as zeros

    // The extent holding the block, or null.
    const Extent* FindExtent(std::int32_t lba) const;
    // The track whose pregap or body holds the block, or null.
    const Track* TrackAt(std::int32_t lba) const;
    const Track* FindTrack(std::uint8_t number) const;
    std::uint8_t FirstTrack() const { return tracks.empty() ? 0 : tracks.front().number; }
    std::uint8_t LastTrack() const { return tracks.empty() ? 0 : tracks.back().number; }
    std::int32_t LeadOut() const { return sessions.empty() ? 0 : sessions.back().leadOut; }
};

} // namespace tolvane::emulator
