#include "disc/AccurateRip.h"

namespace tolvane::accuraterip {
namespace {

constexpr std::size_t HeaderSize = 13; // track count, disc id 1, disc id 2, CDDB id
constexpr std::size_t EntrySize = 9;   // confidence, checksum, sector 450's checksum

} // namespace

Response Decode(ConstBytes body, const ids::AccurateRipId& disc)
{
    Response r;
    if (body.empty()) {
        r.error = "the response is empty";
        return r;
    }
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t tracks = body[at];
        if (body.size() - at < HeaderSize || body.size() - at - HeaderSize < tracks * EntrySize) {
            r.error = "the response is truncated or not an AccurateRip response";
            r.pressings.clear();
            return r;
        }
        Pressing p;
        p.discId1 = Le32(body, at + 1);
        p.discId2 = Le32(body, at + 5);
        p.cddb = Le32(body, at + 9);
        if (tracks != disc.audioTracks || p.discId1 != disc.discId1 || p.discId2 != disc.discId2 ||
            p.cddb != disc.cddb) {
            r.error = "the response is not for this disc";
            r.pressings.clear();
            return r;
        }
        at += HeaderSize;
        for (std::size_t t = 0; t < tracks; ++t, at += EntrySize) {
            p.tracks.push_back({body[at], Le32(body, at + 1), Le32(body, at + 5)});
        }
        r.pressings.push_back(std::move(p));
    }
    return r;
}

Verdict Check(const Response& response, std::size_t audioTrack, std::uint32_t v1, std::uint32_t v2)
{
    Verdict best;
    bool listed = false;
    for (const Pressing& p : response.pressings) {
        if (audioTrack >= p.tracks.size()) {
            continue;
        }
        const TrackEntry& e = p.tracks[audioTrack];
        listed = listed || e.confidence > 0;
        // The most confident submission wins; at equal confidence v2 (the newer sum) is named.
        for (const bool isV2 : {true, false}) {
            const std::uint32_t mine = isV2 ? v2 : v1;
            if (e.crc == mine && e.confidence > 0 &&
                (best.outcome != Outcome::Accurate || e.confidence > best.confidence)) {
                best = {Outcome::Accurate, e.confidence, isV2, mine};
            }
        }
    }
    if (best.outcome != Outcome::Accurate) {
        best.outcome = listed ? Outcome::Mismatch : Outcome::NotPresent;
    }
    return best;
}

std::string Text(const Verdict& verdict)
{
    switch (verdict.outcome) {
    case Outcome::Accurate:
        return "accurately ripped (confidence " + std::to_string(verdict.confidence) + ") [" +
               (verdict.v2 ? "v2" : "v1") + "]";
    case Outcome::Mismatch:
        return "mismatch";
    case Outcome::NotPresent:
        break;
    }
    return "not present in database";
}

} // namespace tolvane::accuraterip
