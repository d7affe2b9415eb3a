// Disc identifiers of the online databases, from the table of contents alone: AccurateRip's and
// MusicBrainz's. Pure functions; nothing here reads a drive or reaches the network.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvane {
class OpticalDisk;
}

namespace tolvane::ids {

struct TocTrack {
    std::uint8_t number = 0;
    std::int32_t lba = 0; // INDEX 01
    bool audio = true;
};

// The table of contents as the databases see it: every track in order and the disc's final
// lead-out (on an Enhanced CD the second session's).
struct TocLayout {
    std::vector<TocTrack> tracks;
    std::int32_t leadOut = 0;
};

// The audio session's own end: the lead-out, or on an Enhanced CD (audio, then a data track
// after them) the data track's start less the 11,400 blocks between the sessions.
std::int32_t AudioEnd(const TocLayout& toc);

struct AccurateRipId {
    std::size_t audioTracks = 0;
    std::uint32_t discId1 = 0;
    std::uint32_t discId2 = 0;
    std::uint32_t cddb = 0;

    std::string Text() const;     // 013-0019d4c3-00fe8924-b90c650d
    std::string FileName() const; // dBAR-013-0019d4c3-00fe8924-b90c650d.bin
    std::string UrlPath() const;  // 3/c/4/dBAR-013-0019d4c3-00fe8924-b90c650d.bin
    std::string Url() const;      // the response's address in the public database
};

// Sums over the audio tracks only, numbered from 1 among themselves, with the final lead-out;
// `cddb` is the disc's CDDB id over all its tracks. Nothing for a disc without audio.
std::optional<AccurateRipId> AccurateRipIdOf(const TocLayout& toc, std::uint32_t cddb);

// The MusicBrainz disc id (28 characters) of the audio tracks up to AudioEnd; empty when the
// disc has no audio or the build has no libdiscid.
std::string MusicBrainzIdOf(const TocLayout& toc);

// The page a user opens to find or submit the disc: the id and the TOC in MusicBrainz's form.
std::string MusicBrainzLookupUrl(const TocLayout& toc);

// The CUETools database's TOC id (28 characters): SHA-1 of where each audio track after the first
// starts and where the audio ends, counted from the first audio track; empty without audio.
std::string CtdbTocId(const TocLayout& toc);

// The table of contents of the disc the disc object last read; the final lead-out is where its
// last track ends.
TocLayout LayoutOf(OpticalDisk& disc);

// Every id of a disc at once, for the views that show them; all empty without audio tracks.
struct Identifiers {
    std::optional<AccurateRipId> accurateRip;
    std::string musicBrainz;
    std::string musicBrainzUrl;
    std::string ctdb;
};
Identifiers IdentifiersOf(OpticalDisk& disc);

} // namespace tolvane::ids
