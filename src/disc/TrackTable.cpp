#include "disc/TrackTable.h"

namespace tolvane {

std::vector<int> TocTracks(const OpticalDisk& disc)
{
    std::vector<int> tracks;
    for (int n = disc.FirstTrack(); n >= 1 && n <= disc.Count(); ++n) {
        tracks.push_back(n);
    }
    return tracks;
}

std::vector<std::string> TrackCells(OpticalDisk& disc, int n)
{
    const auto t = disc.Track(static_cast<std::int16_t>(n));
    if (!t) {
        return std::vector<std::string>(9);
    }
    const auto text = t->CDText() ? t->CDText() : std::make_shared<const tolvane::CDText>();
    return {std::to_string(n),        t->Mode(),
            std::to_string(t->LBA()), t->MSF(),
            t->RawSize().ToString(),  t->DigitalCopy() ? "Yes" : "No",
            t->ISRC(),                text->Title(),
            text->Artist()};
}

} // namespace tolvane
