// One small HTTP client for the online databases (AccurateRip, the CUETools database,
// MusicBrainz), over libcurl. Failures are values: a reply says what went wrong in a sentence.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::net {

struct Reply {
    bool ok = false; // an answer with status 200 arrived whole
    long status = 0; // the HTTP status; 0 when no answer came
    std::vector<std::uint8_t> body;
    std::string error; // why not ok, for the user
};

struct HttpOptions {
    std::chrono::milliseconds timeout{15000};
    long maxRedirects = 3;
    std::size_t maxBody = 8 << 20;
    // The least time between two requests of this client (MusicBrainz asks for one second).
    std::chrono::milliseconds interval{0};
};

class HttpClient {
public:
    explicit HttpClient(HttpOptions options = {});

    Reply Get(const std::string& url);

    // "Tolvane/1.0.0", as the services ask a client to name itself.
    static std::string UserAgent();

private:
    HttpOptions options_;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace tolvane::net
