#include "rip/output/DiscSheet.h"

#include "disc/OpticalDisk.h"

#include <algorithm>

namespace tolvane::rip {

namespace {

// A disc without a catalogue number reads as thirteen zeros on many drives.
std::string Catalog(const std::string& mcn)
{
    return mcn.find_first_not_of('0') == std::string::npos ? std::string() : mcn;
}

std::uint8_t Control(const Track& track)
{
    std::uint8_t control = 0;
    if (track.DigitalCopy())
        control |= 0x2;
    if (track.Preemphasis2())
        control |= 0x1;
    if (track.Preemphasis4())
        control |= 0x9; // the disc object knows four channels only together with pre-emphasis
    return control;
}

} // namespace

CueDisc SheetOfDisc(OpticalDisk& disc, const std::vector<SheetTrack>& tracks, const SheetTexts& texts,
                    const std::map<int, TrackGaps>& gaps)
{
    CueDisc sheet;
    sheet.mcn = Catalog(disc.CD()->UPC());
    sheet.cddb = disc.CD()->CDDB();
    sheet.title = texts.title;
    sheet.performer = texts.performer;
    sheet.comment = texts.comment;
    for (const SheetTrack& wanted : tracks) {
        const auto track = disc.Track(static_cast<std::int16_t>(wanted.number));
        if (!track)
            continue;
        CueTrack cue;
        cue.number = wanted.number;
        cue.start = track->LBA();
        cue.length = track->LogicalBlocks();
        cue.isrc = track->ISRC();
        cue.control = Control(*track);
        cue.title = wanted.title;
        cue.performer = wanted.performer;
        cue.file = wanted.file;
        const auto found = gaps.find(wanted.number);
        if (found != gaps.end()) {
            cue.pregap = found->second.pregap;
            cue.indexes = found->second.indexes;
        } else if (wanted.number == disc.FirstTrack()) {
            cue.pregap = track->LBA();
        }
        // INDEX 00 of a later track lies at the end of the previous file: only when that file
        // is the previous track's.
        const bool followsPrevious = !sheet.tracks.empty() && sheet.tracks.back().number + 1 == cue.number;
        if (!sheet.tracks.empty() && !followsPrevious)
            cue.pregap = 0;
        if (followsPrevious)
            cue.pregap = std::min(cue.pregap, sheet.tracks.back().length);
        sheet.tracks.push_back(std::move(cue));
    }
    return sheet;
}

} // namespace tolvane::rip
