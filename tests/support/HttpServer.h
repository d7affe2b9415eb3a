// A small HTTP server on 127.0.0.1 for the tests of the online look-ups: it serves recorded answers,
// and answers that go wrong the ways a network does, and records what it was asked.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::test {

class HttpServer {
public:
    struct Answer {
        enum class Kind { Whole, Truncated, Stall };
        int status = 200;
        std::string body;
        std::string headers; // further header lines, each ending in \r\n
        Kind kind = Kind::Whole;
    };
    struct Request {
        std::string path;
        std::string userAgent;
    };

    HttpServer(); // listens on a free port and serves from a thread of its own
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::string Url() const; // "http://127.0.0.1:PORT/"
    // What a path answers; any other path answers 404 with an HTML page.
    void Serve(const std::string& path, Answer answer);
    std::vector<Request> Requests() const;

private:
    void Run();
    void Handle(int connection);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<Request> requests_;
    std::thread thread_;
};

} // namespace tolvane::test
