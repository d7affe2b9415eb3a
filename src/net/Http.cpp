#include "net/Http.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace tolvane::net {
namespace {

struct Download {
    std::vector<std::uint8_t>* body;
    std::size_t limit;
    bool tooLarge = false;
};

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* d = static_cast<Download*>(user);
    const std::size_t n = size * count;
    if (d->body->size() + n > d->limit) {
        d->tooLarge = true;
        return 0; // makes libcurl stop with a write error
    }
    d->body->insert(d->body->end(), data, data + n);
    return n;
}

} // namespace

HttpClient::HttpClient(HttpOptions options) : options_(options)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string HttpClient::UserAgent()
{
    return std::string("Tolvane/") + TOLVANE_VERSION;
}

Reply HttpClient::Get(const std::string& url)
{
    if (options_.interval.count() > 0 && last_ != std::chrono::steady_clock::time_point{}) {
        std::this_thread::sleep_until(last_ + options_.interval);
    }
    last_ = std::chrono::steady_clock::now();

    Reply reply;
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        reply.error = "the network library could not start";
        return reply;
    }
    Download download{&reply.body, options_.maxBody};
    char message[CURL_ERROR_SIZE] = {};
    const std::string agent = UserAgent();
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, options_.maxRedirects);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.timeout.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.timeout.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);

    const CURLcode code = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    if (download.tooLarge) {
        reply.error = "the answer is longer than " + std::to_string(options_.maxBody) + " bytes";
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        char text[48];
        std::snprintf(text, sizeof text, "no answer within %.1f s",
                      static_cast<double>(options_.timeout.count()) / 1000);
        reply.error = text;
    } else if (code == CURLE_TOO_MANY_REDIRECTS) {
        reply.error = "too many redirects";
    } else if (code != CURLE_OK) {
        reply.error = message[0] != '\0' ? message : curl_easy_strerror(code);
    } else if (reply.status != 200) {
        reply.error = "the server answered " + std::to_string(reply.status);
    } else {
        reply.ok = true;
    }
    if (!reply.ok) {
        reply.body.clear();
    }
    return reply;
}

} // namespace tolvane::net
