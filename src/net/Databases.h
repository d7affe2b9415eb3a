// The online databases' addresses and the AccurateRip look-up. Every address can be replaced
// (tests serve recorded answers from 127.0.0.1; a user may use a mirror).
#pragma once

#include "disc/AccurateRip.h"
#include "disc/Ctdb.h"
#include "net/Http.h"

#include <string>
#include <vector>

namespace tolvane::net {

struct Services {
    std::string accurateRip = "http://www.accuraterip.com/accuraterip/";
    std::string ctdb = "http://db.cuetools.net/";
    std::string musicBrainz = "https://musicbrainz.org/ws/2/";

    // The defaults, each replaced by TOLVANE_ACCURATERIP_URL, TOLVANE_CTDB_URL or
    // TOLVANE_MUSICBRAINZ_URL when set.
    static Services FromEnvironment();
};

// What a database said of a disc: its decoded answer, or that it does not know the disc, or why
// it could not be asked.
template <typename Answer>
struct Lookup {
    enum class State { Found, NotInDatabase, Failed };
    State state = State::Failed;
    Answer response;
    std::string error; // for Failed: what went wrong, for the user
};
using AccurateRipLookup = Lookup<accuraterip::Response>;
using CtdbLookup = Lookup<ctdb::Response>;

// One request for the disc's response file; the database answers 404 for a disc it does not know.
AccurateRipLookup FetchAccurateRip(HttpClient& http, const Services& services, const ids::AccurateRipId& id);

// The same from a response file saved earlier.
AccurateRipLookup ReadAccurateRip(const std::string& file, const ids::AccurateRipId& id);

// One request to the CUETools database for the disc's exact TOC.
CtdbLookup FetchCtdb(HttpClient& http, const Services& services, const ids::TocLayout& toc);

// A release MusicBrainz lists for a disc id: the album, its credited artist, and the tracks of
// the medium that holds the disc, by their place among the disc's audio tracks (from 1).
struct MusicBrainzRelease {
    struct Track {
        int position = 0;
        std::string title;
        std::string artist;
    };
    bool found = false;
    std::string error; // when the look-up failed; a disc MusicBrainz does not know is not an error
    std::string album;
    std::string artist;
    std::vector<Track> tracks;
};

// The first release for the disc id (web service 2, JSON). The client should keep MusicBrainz's
// one request per second (MusicBrainzClient()).
MusicBrainzRelease LookupMusicBrainz(HttpClient& http, const Services& services, const std::string& discId);
// Decodes a discid answer of the web service.
MusicBrainzRelease DecodeMusicBrainz(const std::string& json, const std::string& discId);
HttpClient MusicBrainzClient();

} // namespace tolvane::net
