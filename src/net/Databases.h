// The online databases' addresses and the AccurateRip look-up. Every address can be replaced
// (tests serve recorded answers from 127.0.0.1; a user may use a mirror).
#pragma once

#include "disc/AccurateRip.h"
#include "net/Http.h"

#include <string>

namespace tolvane::net {

struct Services {
    std::string accurateRip = "http://www.accuraterip.com/accuraterip/";
    std::string ctdb = "http://db.cuetools.net/";
    std::string musicBrainz = "https://musicbrainz.org/ws/2/";

    // The defaults, each replaced by TOLVANE_ACCURATERIP_URL, TOLVANE_CTDB_URL or
    // TOLVANE_MUSICBRAINZ_URL when set.
    static Services FromEnvironment();
};

struct AccurateRipLookup {
    enum class State { Found, NotInDatabase, Failed };
    State state = State::Failed;
    accuraterip::Response response;
    std::string error; // for Failed: what went wrong, for the user
};

// One request for the disc's response file; the database answers 404 for a disc it does not know.
AccurateRipLookup FetchAccurateRip(HttpClient& http, const Services& services, const ids::AccurateRipId& id);

// The same from a response file saved earlier.
AccurateRipLookup ReadAccurateRip(const std::string& file, const ids::AccurateRipId& id);

} // namespace tolvane::net
