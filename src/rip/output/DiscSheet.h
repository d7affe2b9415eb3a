// The cue sheet of a rip from what the disc object knows: its table of contents, MCN, ISRCs,
// the tracks' control bits, and the texts the rip named and tagged its files with. Pregaps and
// further indexes come from a gap scan when one ran; without one only the first track's pregap
// (the audio before it, from address 0) is known.
#pragma once

#include "rip/output/CueSheet.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tolvane {
class OpticalDisk;
}

namespace tolvane::rip {

// What a scan of the sub-channel found for one track.
struct TrackGaps {
    std::int32_t pregap = 0;             // blocks of INDEX 00 before the track's start
    std::vector<std::int32_t> indexes{}; // INDEX 02 and on, as addresses
};

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
// not there. `gaps` is keyed by track number; a track in it has its gaps from there.
CueDisc SheetOfDisc(OpticalDisk& disc, const std::vector<SheetTrack>& tracks, const SheetTexts& texts,
                    const std::map<int, TrackGaps>& gaps = {});

} // namespace tolvane::rip
