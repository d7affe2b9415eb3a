#include "emulator/Disc.h"

#include <algorithm>

namespace tolvane::emulator {

bool IsData(TrackMode mode)
{
    return mode != TrackMode::Audio;
}

std::uint8_t DataModeOf(TrackMode mode)
{
    switch (mode) {
    case TrackMode::Audio:
        return 0;
    case TrackMode::Mode1:
        return 1;
    case TrackMode::Mode2:
    case TrackMode::Mode2Form1:
    case TrackMode::Mode2Form2:
    case TrackMode::Mode2FormMix:
        return 2;
    }
    return 0;
}

bool IsDvd(MediaKind kind)
{
    switch (kind) {
    case MediaKind::DvdRom:
    case MediaKind::DvdR:
    case MediaKind::DvdRw:
    case MediaKind::DvdPlusR:
    case MediaKind::DvdPlusRw:
    case MediaKind::DvdRam:
        return true;
    default:
        return false;
    }
}

bool IsRecordableCd(MediaKind kind)
{
    switch (kind) {
    case MediaKind::CdR:
    case MediaKind::CdRw:
    case MediaKind::BlankCdR:
    case MediaKind::BlankCdRw:
        return true;
    default:
        return false;
    }
}

bool IsErasable(MediaKind kind)
{
    switch (kind) {
    case MediaKind::CdRw:
    case MediaKind::BlankCdRw:
    case MediaKind::DvdRw:
    case MediaKind::DvdPlusRw:
    case MediaKind::DvdRam:
        return true;
    default:
        return false;
    }
}

const Extent* Disc::FindExtent(std::int32_t lba) const
{
    // The last extent that starts at or before the block.
    const auto after = std::upper_bound(extents.begin(), extents.end(), lba,
                                        [](std::int32_t value, const Extent& e) { return value < e.start; });
    if (after == extents.begin())
        return nullptr;
    const Extent& candidate = *(after - 1);
    return lba < candidate.End() ? &candidate : nullptr;
}

const Track* Disc::TrackAt(std::int32_t lba) const
{
    const auto after =
        std::upper_bound(tracks.begin(), tracks.end(), lba,
                         [](std::int32_t value, const Track& t) { return value < t.pregapStart; });
    if (after == tracks.begin())
        return nullptr;
    const Track& candidate = *(after - 1);
    // Between a session's lead-out and the next session's first pregap no track holds the block.
    return lba < candidate.end ? &candidate : nullptr;
}

const Track* Disc::FindTrack(std::uint8_t number) const
{
    if (tracks.empty() || number < tracks.front().number)
        return nullptr;
    const std::size_t i = number - tracks.front().number;
    if (i >= tracks.size() || tracks[i].number != number)
        return nullptr;
    return &tracks[i];
}

} // namespace tolvane::emulator
