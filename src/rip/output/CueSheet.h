// The cue sheet of a rip, in either of the two layouts rippers write:
//
// - one file per track, each track's file starting at its INDEX 01, and a track's pregap
//   (INDEX 00) at the end of the previous track's file, where a rip that appends pregaps to the
//   previous track put it (EAC's and XLD's "noncompliant" sheet, whipper's default);
// - one image file holding the whole disc, every index at its time in the image.
//
// Addresses are logical block addresses (block 0 is 00:02:00 on the disc); a block is one 1/75 s
// frame of 2,352 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::rip {

struct CueTrack {
    int number = 1;
    // INDEX 01.
    std::int32_t start = 0;
    // Blocks from INDEX 01 to the next track's INDEX 01 (or the lead-out), as the table of
    // contents gives them: what the track's file holds when pregaps go to the previous track.
    std::int32_t length = 0;
    // Blocks of INDEX 00 just before `start`; they are the last blocks of the previous track's
    // length. For the first track, the blocks from address 0 (a hidden track one audio).
    std::int32_t pregap = 0;
    // INDEX 02, 03 ..., in order, as addresses.
    std::vector<std::int32_t> indexes;
    std::string isrc;
    std::uint8_t control =
        0; // the Q sub-channel control bits: 1 pre-emphasis, 2 copy permitted, 8 four channels
    std::string title;
    std::string performer;
    std::string file; // the track's file, in the file-per-track layout
};

struct CueDisc {
    std::string mcn;  // CATALOG, 13 digits
    std::string cddb; // REM DISCID, 8 hex digits
    std::string title;
    std::string performer;
    std::string comment; // REM COMMENT, the program that ripped ("Tolvane 1.0")
    std::vector<CueTrack> tracks;
    // The image layout: the one file, and what it holds. The image starts at the first track's
    // INDEX 00 (its start less its pregap).
    std::string imageFile;
    std::string imageType = "WAVE"; // BINARY for a raw little-endian .bin
    // The file-per-track layout: the first track's pregap, when it was ripped to a file of its own
    // (a hidden track); otherwise the sheet gives it as PREGAP.
    std::string pregapFile;
};

enum class CueLayout : std::uint8_t { FilePerTrack, Image };

// The sheet's text, one line per statement, ending in "\n". Texts are quoted; a double quote in
// them becomes a single quote and control characters become spaces, as no cue reader knows an
// escape.
std::string CueSheetText(const CueDisc& disc, CueLayout layout);

} // namespace tolvane::rip
