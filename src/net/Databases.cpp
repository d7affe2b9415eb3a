#include "net/Databases.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tolvane::net {
namespace {

void FromVariable(const char* name, std::string& url)
{
    if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') {
        url = value;
        if (url.back() != '/') {
            url += '/';
        }
    }
}

AccurateRipLookup FromBody(ConstBytes body, const ids::AccurateRipId& id)
{
    AccurateRipLookup lookup;
    lookup.response = accuraterip::Decode(body, id);
    if (lookup.response.error.empty()) {
        lookup.state = AccurateRipLookup::State::Found;
    } else {
        lookup.error = lookup.response.error;
    }
    return lookup;
}

} // namespace

Services Services::FromEnvironment()
{
    Services s;
    FromVariable("TOLVANE_ACCURATERIP_URL", s.accurateRip);
    FromVariable("TOLVANE_CTDB_URL", s.ctdb);
    FromVariable("TOLVANE_MUSICBRAINZ_URL", s.musicBrainz);
    return s;
}

AccurateRipLookup FetchAccurateRip(HttpClient& http, const Services& services, const ids::AccurateRipId& id)
{
    const Reply reply = http.Get(services.accurateRip + id.UrlPath());
    if (reply.status == 404) {
        AccurateRipLookup lookup;
        lookup.state = AccurateRipLookup::State::NotInDatabase;
        return lookup;
    }
    if (!reply.ok) {
        AccurateRipLookup lookup;
        lookup.error = reply.error;
        return lookup;
    }
    return FromBody(reply.body, id);
}

AccurateRipLookup ReadAccurateRip(const std::string& file, const ids::AccurateRipId& id)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        AccurateRipLookup lookup;
        lookup.error = file + ": " + std::strerror(errno);
        return lookup;
    }
    const std::vector<std::uint8_t> body{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    return FromBody(body, id);
}

CtdbLookup FetchCtdb(HttpClient& http, const Services& services, const ids::TocLayout& toc)
{
    CtdbLookup lookup;
    const Reply reply = http.Get(services.ctdb + "lookup2.php?version=3&ctdb=1&toc=" + ctdb::TocText(toc));
    if (!reply.ok) {
        lookup.error = reply.error;
        return lookup;
    }
    lookup.response = ctdb::Decode(std::string(reply.body.begin(), reply.body.end()));
    if (!lookup.response.error.empty()) {
        lookup.error = lookup.response.error;
        return lookup;
    }
    lookup.state =
        lookup.response.entries.empty() ? CtdbLookup::State::NotInDatabase : CtdbLookup::State::Found;
    return lookup;
}

namespace {

// "Artist A feat. Artist B": the credited names with their join phrases.
std::string Credit(const nlohmann::json& credits)
{
    std::string text;
    if (credits.is_array()) {
        for (const auto& c : credits) {
            text += c.value("name", "");
            text += c.value("joinphrase", "");
        }
    }
    return text;
}

} // namespace

MusicBrainzRelease DecodeMusicBrainz(const std::string& json, const std::string& discId)
{
    MusicBrainzRelease release;
    const auto doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        release.error = "the answer is not JSON";
        return release;
    }
    const auto releases = doc.find("releases");
    if (releases == doc.end() || !releases->is_array()) {
        release.error = "the answer lists no releases";
        return release;
    }
    for (const auto& r : *releases) {
        if (!r.is_object() || !r.contains("media") || !r["media"].is_array()) {
            continue;
        }
        for (const auto& medium : r["media"]) {
            bool holds = false;
            for (const auto& disc : medium.value("discs", nlohmann::json::array())) {
                holds = holds || (disc.is_object() && disc.value("id", "") == discId);
            }
            if (!holds) {
                continue;
            }
            release.found = true;
            release.album = r.value("title", "");
            release.artist = Credit(r.value("artist-credit", nlohmann::json::array()));
            for (const auto& t : medium.value("tracks", nlohmann::json::array())) {
                if (!t.is_object() || !t.contains("position") || !t["position"].is_number_integer()) {
                    continue;
                }
                const std::string artist = Credit(t.value("artist-credit", nlohmann::json::array()));
                release.tracks.push_back({t["position"].get<int>(), t.value("title", ""),
                                          artist.empty() ? release.artist : artist});
            }
            return release;
        }
    }
    return release;
}

MusicBrainzRelease LookupMusicBrainz(HttpClient& http, const Services& services, const std::string& discId)
{
    const Reply reply =
        http.Get(services.musicBrainz + "discid/" + discId + "?inc=recordings+artist-credits&fmt=json");
    if (reply.status == 404) {
        return {}; // not known: not an error
    }
    if (!reply.ok) {
        MusicBrainzRelease failed;
        failed.error = reply.error;
        return failed;
    }
    return DecodeMusicBrainz(std::string(reply.body.begin(), reply.body.end()), discId);
}

HttpClient MusicBrainzClient()
{
    HttpOptions options;
    options.interval = std::chrono::milliseconds(1000);
    return HttpClient(options);
}

} // namespace tolvane::net
