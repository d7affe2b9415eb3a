#include "net/Databases.h"

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
    const std::vector<std::uint8_t> body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return FromBody(body, id);
}

} // namespace tolvane::net
