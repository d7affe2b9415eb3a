// Disc images into Discs: cue sheets, cdrdao toc files and iso files.
//
// A bad image gives a message naming the file and the line ("x.cue:7: ..."),
// never a crash and never a partial disc.
#pragma once

#include "emulator/Disc.h"
#include "emulator/SectorSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::emulator {

struct LoadOptions {
    // Serve a sheet whose data files are missing, with sectors that encode their
    // own address, for the length the sheet states (tests of peers' sheets whose
    // audio is not at hand).
    bool synthesizeMissingData = false;
    // Decodes an audio file that a sheet names as WAVE but that is no RIFF file (the sheet of a
    // FLAC rip names its .flac files so, as rippers write it): the source of its blocks of audio
    // and their count, or null with the reason. Without it such a file is refused. The core has no
    // codec; the programs hand theirs in.
    std::function<std::shared_ptr<const SectorSource>(const std::string& path, std::int64_t& blocks,
                                                      std::string& error)>
        decodeAudio{};
};

struct LoadResult {
    std::shared_ptr<const Disc> disc; // null on failure
    std::string error;                // why, naming file and line
    std::vector<std::string> warnings;

    explicit operator bool() const { return disc != nullptr; }
};

// By the file's extension (.cue, .toc, .iso; case-insensitive).
LoadResult LoadImage(const std::string& path, const LoadOptions& options = {});
LoadResult LoadCue(const std::string& path, const LoadOptions& options = {});
LoadResult LoadToc(const std::string& path, const LoadOptions& options = {});
LoadResult LoadIso(const std::string& path, const LoadOptions& options = {});

// Blocks of the layout of an Enhanced CD between the lead-out of session 1 and
// INDEX 01 of the first track of session 2: 6,750 lead-out, 4,500 lead-in, 150 pregap.
constexpr std::int32_t SessionGap = 11400;
// Longer than the longest CD: an iso image beyond this is a DVD.
constexpr std::int32_t MaxCdBlocks = 450000;
// Capacity of one DVD layer (single-layer DVD-5).
constexpr std::int32_t DvdLayerBlocks = 2295104;

} // namespace tolvane::emulator
