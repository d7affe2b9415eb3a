// Drives' read offsets: the user's table of them, keyed by the drive's INQUIRY vendor and
// product, and finding a drive's offset from a disc whose checksums AccurateRip knows.
//
// The table is a text file, one drive a line: "vendor | product | offset", the offset in samples
// with its sign (the correction a ripper applies); '#' starts a comment. Tolvane ships no list of
// other people's figures: a user's entries come from their own detection or their own knowledge.
#pragma once

#include "device/MMC.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::rip {

struct OffsetEntry {
    std::string vendor;
    std::string product;
    int offset = 0;
};

struct OffsetTable {
    std::vector<OffsetEntry> entries;
};

// False with `error` naming the line when the text is not such a table.
bool ParseOffsetTable(std::string_view text, OffsetTable& table, std::string& error);
std::string OffsetTableText(const OffsetTable& table);

// The offset of a drive model; vendor and product as INQUIRY gives them (trailing spaces and
// case do not matter).
std::optional<int> FindOffset(const OffsetTable& table, std::string_view vendor, std::string_view product);
// Adds the drive, or changes its offset.
void SetOffset(OffsetTable& table, std::string_view vendor, std::string_view product, int offset);

// $TOLVANE_OFFSETS_FILE, else $XDG_CONFIG_HOME/tolvane/drive-offsets, else
// ~/.config/tolvane/drive-offsets.
std::string DefaultOffsetTablePath();
// A file that does not exist is an empty table, not an error.
bool LoadOffsetTable(const std::string& path, OffsetTable& table, std::string& error);
// Creates the folder if need be; the file is replaced whole.
bool SaveOffsetTable(const std::string& path, const OffsetTable& table, std::string& error);

// Samples each way around a track that detection tries: far more than any drive's offset.
constexpr int DetectionMargin = 5 * 588;

struct OffsetDetection {
    std::vector<int> offsets; // the corrections at which the track's checksum is a known one
    std::string error;        // the read failed
};

// Reads the track [start, start + blocks) with `margin` samples more each way (silence beyond the
// disc's ends) and finds the read-offset corrections at which its AccurateRip v1 checksum is one
// of `knownV1` (the database's checksums of the track, for any pressing).
OffsetDetection DetectOffset(MMC& mmc, std::int32_t start, std::int32_t blocks, std::int32_t discEnd,
                             bool firstTrack, bool lastTrack, std::span<const std::uint32_t> knownV1,
                             int margin = DetectionMargin);

} // namespace tolvane::rip
