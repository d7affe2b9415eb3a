// ISO images: the 2,048-byte user data of every block of one Mode 1 track.
// An image longer than any CD is a DVD-ROM.
#include "emulator/ImageLoader.h"
#include "emulator/LoaderSupport.h"

namespace tolvane::emulator {

LoadResult LoadIso(const std::string& path, const LoadOptions&)
{
    LoadResult result;
    const std::string name = loader::BaseName(path);
    std::string why;
    auto source = FileSource::Open(path, 0, 2048, false, why);
    if (!source) {
        result.error = name + ": " + why;
        return result;
    }
    const std::uint64_t size = source->Size();
    if (size == 0) {
        result.error = name + ": the image is empty";
        return result;
    }
    if (size % 2048 != 0) {
        result.error =
            name + ": " + std::to_string(size) + " bytes is not a whole number of 2,048-byte blocks";
        return result;
    }
    const std::uint64_t blocks = size / 2048;
    if (blocks > 2 * static_cast<std::uint64_t>(DvdLayerBlocks)) {
        result.error = name + ": " + std::to_string(blocks) + " blocks is more than a dual-layer DVD holds";
        return result;
    }
    const auto count = static_cast<std::int32_t>(blocks);

    auto disc = std::make_shared<Disc>();
    disc->name = name;
    disc->status = DiscStatus::Complete;
    if (count > MaxCdBlocks) {
        disc->media = MediaKind::DvdRom;
        disc->layers = count > DvdLayerBlocks ? 2 : 1;
    } else {
        disc->media = MediaKind::PressedCd;
    }
    Track track;
    track.mode = TrackMode::Mode1;
    track.control = control::Data;
    track.end = count;
    disc->tracks.push_back(track);
    disc->sessions.push_back(Session{1, count, 0x00});
    disc->capacity = count;
    disc->extents.push_back(Extent{0, count, SectorFormat::Mode1Data, std::move(source), 0});
    result.disc = std::move(disc);
    return result;
}

} // namespace tolvane::emulator
