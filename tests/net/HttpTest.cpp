// The HTTP client and the AccurateRip look-up against a server on 127.0.0.1 that answers with
// recorded responses and with the ways a network goes wrong.
#include "net/Databases.h"
#include "net/Http.h"
#include "support/HttpServer.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using Answer = test::HttpServer::Answer;

TEST(Http, AnswersAndFailures)
{
    test::HttpServer server;
    server.Serve("/ok", {200, "recorded", ""});
    server.Serve("/moved", {302, "", "Location: /ok\r\n"});
    server.Serve("/loop", {302, "", "Location: /loop\r\n"});
    server.Serve("/cut", {200, "half of it", "", Answer::Kind::Truncated});
    server.Serve("/silent", {200, "", "", Answer::Kind::Stall});
    server.Serve("/big", {200, std::string(5000, 'x'), ""});
    const struct {
        const char* path;
        long status;
        const char* body;
        const char* error; // the start of it
    } cases[] = {
        {"/ok", 200, "recorded", ""},
        {"/moved", 200, "recorded", ""},
        {"/missing", 404, "", "the server answered 404"},
        {"/loop", 302, "", "too many redirects"},
        {"/cut", 200, "", "transfer closed"},
        {"/silent", 0, "", "no answer within 0.3 s"},
        {"/big", 200, "", "the answer is longer than 4096 bytes"},
    };
    net::HttpOptions options;
    options.timeout = std::chrono::milliseconds(300);
    options.maxBody = 4096;
    net::HttpClient http(options);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const net::Reply r = http.Get(server.Url() + (c.path + 1));
        EXPECT_EQ(r.ok, c.error[0] == '\0');
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(std::string(r.body.begin(), r.body.end()), c.body);
        EXPECT_EQ(r.error.substr(0, std::string(c.error).size()), c.error) << r.error;
    }
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.userAgent, "Tolvane/" TOLVANE_VERSION);

    // AccurateRip's whole response, fetched by a client that keeps MusicBrainz's interval.
    const ids::AccurateRipId id{2, 0x0000f21c, 0x00027ef8, 0x05021002};
    const auto recorded = test::ReadBytes(test::TestDataPath("whipper/" + id.FileName()));
    server.Serve("/ar/" + id.UrlPath(), {200, std::string(recorded.begin(), recorded.end()), ""});
    net::Services services;
    services.accurateRip = server.Url() + "ar/";
    net::HttpClient slow = net::MusicBrainzClient();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i) {
        const auto found = net::FetchAccurateRip(slow, services, id);
        ASSERT_EQ(found.state, net::AccurateRipLookup::State::Found) << found.error;
        EXPECT_EQ(found.response.pressings.size(), 2u);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// A discid answer of MusicBrainz's web service as its documentation shows one, cut to what is read:
// two releases, the second holding the disc as its second medium, track credits with join phrases.
const char* const DiscAnswer = R"({"id": "XhGDBudA9C4i4u8Rud73NZcc4Cc-", "offset-count": 2, "offsets": [150, 300],
  "releases": [
    {"title": "Another Album", "artist-credit": [{"name": "Someone", "joinphrase": ""}],
     "media": [{"position": 1, "discs": [{"id": "somethingElse"}], "tracks": []}]},
    {"title": "Join Us", "artist-credit": [{"name": "Richard", "joinphrase": " & "}, {"name": "Friends", "joinphrase": ""}],
     "media": [
       {"position": 1, "discs": [], "tracks": [{"position": 1, "number": "1", "title": "Wrong medium"}]},
       {"position": 2, "discs": [{"id": "XhGDBudA9C4i4u8Rud73NZcc4Cc-", "sectors": 452}],
        "tracks": [{"position": 1, "number": "1", "title": "Free Software / Song"},
                   {"position": 2, "number": "2", "title": "Hackers",
                    "artist-credit": [{"name": "Guest", "joinphrase": " feat. "}, {"name": "Richard", "joinphrase": ""}]}]}]}]})";

TEST(MusicBrainz, DecodesTheMediumThatHoldsTheDisc)
{
    const auto r = net::DecodeMusicBrainz(DiscAnswer, "XhGDBudA9C4i4u8Rud73NZcc4Cc-");
    ASSERT_TRUE(r.found) << r.error;
    EXPECT_EQ(r.album, "Join Us");
    EXPECT_EQ(r.artist, "Richard & Friends");
    ASSERT_EQ(r.tracks.size(), 2u);
    EXPECT_EQ(r.tracks[0].title, "Free Software / Song");
    EXPECT_EQ(r.tracks[0].artist, "Richard & Friends");
    EXPECT_EQ(r.tracks[1].artist, "Guest feat. Richard");
    EXPECT_FALSE(net::DecodeMusicBrainz(DiscAnswer, "notListed").found);
    EXPECT_EQ(net::DecodeMusicBrainz("<html>busy</html>", "x").error, "the answer is not JSON");
    EXPECT_EQ(net::DecodeMusicBrainz(R"({"error": "Not Found"})", "x").error, "the answer lists no releases");
}

} // namespace
} // namespace tolvane
