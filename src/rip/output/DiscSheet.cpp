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
                    const DiscGaps* gaps)
{
    CueDisc sheet;
    sheet.mcn = Catalog(disc.CD()->UPC());
    if (sheet.mcn.empty() && gaps != nullptr)
        sheet.mcn = gaps->mcn;
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
        const TrackGaps* found = nullptr;
        if (gaps != nullptr)
            for (const TrackGaps& g : gaps->tracks)
                if (g.number == wanted.number)
                    found = &g;
        if (found != nullptr) {
            cue.pregap = found->PregapLength();
            for (const auto& [index, lba] : found->indexes)
                cue.indexes.push_back(lba);
            if (cue.isrc.empty())
                cue.isrc = found->isrc;
            if (found->preEmphasis)
                cue.control |= 0x1;
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
