// The cue sheet of a rip from what the disc object knows: its table of contents, MCN, ISRCs,
// the tracks' control bits, and the texts the rip named and tagged its files with. Pregaps and
// further indexes come from a gap scan when one ran; without one only the first track's pregap
// (the audio before it, from address 0) is known.
#pragma once

#include "rip/Gaps.h"
#include "rip/output/CueSheet.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {
class OpticalDisk;
}

namespace tolvane::rip {

// One file of the rip, in disc order.
struct SheetTrack {
    int number = 0;
    std::string file; // its name in the sheet's folder
    std::string title;
    std::string performer;
};

struct SheetTexts {
    std::string title; // the album's
    std::string performer;
    std::string comment; // the program that ripped
};

// The sheet lists the files given, with the disc's numbers. A pregap whose blocks belong to the
// end of a track that was not ripped is left out: its INDEX 00 would point into a file that is
// not there. A track the gap scan `gaps` found has its pregap and indexes from there, and the
// scan's ISRC, catalogue number and pre-emphasis where the disc object has none.
CueDisc SheetOfDisc(OpticalDisk& disc, const std::vector<SheetTrack>& tracks, const SheetTexts& texts,
                    const DiscGaps* gaps = nullptr);

} // namespace tolvane::rip
