#include "disc/DiscIds.h"

#include "disc/Checksums.h"
#include "disc/OpticalDisk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string_view>

#ifdef TOLVANE_HAVE_DISCID
#include <discid/discid.h>
#endif

namespace tolvane::ids {
namespace {

constexpr std::int32_t SessionGap = 11400;
constexpr std::int32_t LeadIn = 150; // MusicBrainz counts addresses from 00:00:00

std::vector<TocTrack> AudioTracks(const TocLayout& toc)
{
    std::vector<TocTrack> audio;
    std::copy_if(toc.tracks.begin(), toc.tracks.end(), std::back_inserter(audio),
                 [](const TocTrack& t) { return t.audio; });
    return audio;
}

// MusicBrainz's TOC: first and last audio track, the audio end, then each start, from 00:00:00.
[[maybe_unused]] std::vector<std::int32_t> MusicBrainzToc(const TocLayout& toc, int& first, int& last)
{
    const auto audio = AudioTracks(toc);
    if (audio.empty()) {
        return {};
    }
    first = audio.front().number;
    last = audio.back().number;
    std::vector<std::int32_t> offsets(static_cast<std::size_t>(last) + 1, 0);
    offsets[0] = AudioEnd(toc) + LeadIn;
    for (const TocTrack& t : audio) {
        offsets[t.number] = t.lba + LeadIn;
    }
    return offsets;
}

} // namespace

std::int32_t AudioEnd(const TocLayout& toc)
{
    const auto& t = toc.tracks;
    const auto lastAudio = std::find_if(t.rbegin(), t.rend(), [](const TocTrack& x) { return x.audio; });
    if (lastAudio == t.rend() || lastAudio == t.rbegin()) {
        return toc.leadOut;
    }
    // A data track after the audio ones: the second session of an Enhanced CD.
    return std::prev(lastAudio)->lba - SessionGap;
}

std::string AccurateRipId::Text() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%03zu-%08x-%08x-%08x", audioTracks, discId1, discId2, cddb);
    return text;
}

std::string AccurateRipId::FileName() const
{
    std::string name = "dBAR-";
    name += Text();
    name += ".bin";
    return name;
}

std::string AccurateRipId::UrlPath() const
{
    char folders[8];
    std::snprintf(folders, sizeof folders, "%x/%x/%x/", discId1 & 0xF, discId1 >> 4 & 0xF,
                  discId1 >> 8 & 0xF);
    return folders + FileName();
}

std::string AccurateRipId::Url() const
{
    return "http://www.accuraterip.com/accuraterip/" + UrlPath();
}

std::optional<AccurateRipId> AccurateRipIdOf(const TocLayout& toc, std::uint32_t cddb)
{
    const auto audio = AudioTracks(toc);
    if (audio.empty()) {
        return std::nullopt;
    }
    AccurateRipId id;
    id.audioTracks = audio.size();
    id.cddb = cddb;
    std::uint32_t position = 1;
    for (const TocTrack& t : audio) {
        const auto lba = static_cast<std::uint32_t>(t.lba);
        id.discId1 += lba;
        id.discId2 += std::max<std::uint32_t>(lba, 1) * position++;
    }
    const auto leadOut = static_cast<std::uint32_t>(toc.leadOut);
    id.discId1 += leadOut;
    id.discId2 += leadOut * position;
    return id;
}

namespace {

// One of libdiscid's texts for the TOC: the id or the submission URL; empty without audio or libdiscid.
std::string FromDiscId([[maybe_unused]] const TocLayout& toc, [[maybe_unused]] bool url)
{
#ifdef TOLVANE_HAVE_DISCID
    int first = 0;
    int last = 0;
    auto offsets = MusicBrainzToc(toc, first, last);
    if (offsets.empty()) {
        return {};
    }
    DiscId* disc = discid_new();
    std::string text;
    if (discid_put(disc, first, last, offsets.data()) != 0) {
        text = url ? discid_get_submission_url(disc) : discid_get_id(disc);
    }
    discid_free(disc);
    return text;
#else
    return {};
#endif
}

} // namespace

std::string CtdbTocId(const TocLayout& toc)
{
    const auto audio = AudioTracks(toc);
    if (audio.empty()) {
        return {};
    }
    // A hundred entries of eight upper-case hex digits, unused ones all "0".
    constexpr std::size_t Entries = 100;
    std::string text(Entries * 8, '0');
    const auto put = [&text, origin = audio.front().lba](std::size_t entry, std::int32_t lba) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(lba - origin));
        text.replace(entry * 8, 8, hex);
    };
    for (std::size_t i = 1; i < audio.size(); ++i) {
        put(i - 1, audio[i].lba);
    }
    put(audio.size() - 1, AudioEnd(toc));

    sums::Sha1 sha;
    sha.Add(ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    const auto digest = sha.Digest();
    // Base64, with the database's URL-safe letters for '+', '/' and '='.
    constexpr std::string_view Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string id;
    for (std::size_t i = 0; i < digest.size(); i += 3) {
        const std::uint32_t group = std::uint32_t{digest[i]} << 16 |
                                    std::uint32_t{i + 1 < digest.size() ? digest[i + 1] : std::uint8_t{0}}
                                        << 8 |
                                    (i + 2 < digest.size() ? digest[i + 2] : std::uint8_t{0});
        const std::size_t present = std::min<std::size_t>(digest.size() - i, 3) + 1;
        for (std::size_t k = 0; k < 4; ++k) {
            id += k < present ? Letters[group >> (18 - 6 * k) & 0x3F] : '-';
        }
    }
    return id;
}

std::string MusicBrainzIdOf(const TocLayout& toc)
{
    return FromDiscId(toc, false);
}

std::string MusicBrainzLookupUrl(const TocLayout& toc)
{
    return FromDiscId(toc, true);
}

TocLayout LayoutOf(OpticalDisk& disc)
{
    TocLayout toc;
    for (int n = disc.FirstTrack(); n >= 1 && n <= disc.Count(); ++n) {
        if (const auto t = disc.Track(static_cast<std::int16_t>(n))) {
            toc.tracks.push_back({static_cast<std::uint8_t>(n), t->LBA(), t->Mode() == "Audio"});
            toc.leadOut = t->LBA() + t->LogicalBlocks();
        }
    }
    return toc;
}

Identifiers IdentifiersOf(OpticalDisk& disc)
{
    const TocLayout toc = LayoutOf(disc);
    const auto cd = disc.CD();
    const auto cddb = static_cast<std::uint32_t>(std::strtoul(cd->CDDB().c_str(), nullptr, 16));
    Identifiers ids;
    ids.accurateRip = AccurateRipIdOf(toc, cddb);
    if (ids.accurateRip) {
        ids.musicBrainz = MusicBrainzIdOf(toc);
        ids.musicBrainzUrl = MusicBrainzLookupUrl(toc);
        ids.ctdb = CtdbTocId(toc);
    }
    return ids;
}

} // namespace tolvane::ids
