#include "support/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace tolvane::test {
namespace {

void SendAll(int fd, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

HttpServer::HttpServer()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("the test HTTP server cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

HttpServer::~HttpServer()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

std::string HttpServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void HttpServer::Serve(const std::string& path, Answer answer)
{
    const std::lock_guard lock(mutex_);
    answers_[path] = std::move(answer);
}

std::vector<HttpServer::Request> HttpServer::Requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

void HttpServer::Run()
{
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) == 1) {
            const int connection = ::accept(listener_, nullptr, nullptr);
            if (connection >= 0) {
                Handle(connection);
                ::close(connection);
            }
        }
    }
}

void HttpServer::Handle(int connection)
{
    std::string head;
    char chunk[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) {
            return;
        }
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return;
        }
        head.append(chunk, static_cast<std::size_t>(n));
    }
    Request request;
    const std::size_t pathStart = head.find(' ') + 1;
    request.path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
    // libcurl writes the header as "User-Agent".
    if (const std::size_t at = head.find("\r\nUser-Agent: "); at != std::string::npos) {
        request.userAgent = head.substr(at + 14, head.find("\r\n", at + 14) - at - 14);
    }
    Answer answer{404, "<html><body><h1>404 Not Found</h1></body></html>\n", "Content-Type: text/html\r\n"};
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (const auto found = answers_.find(request.path); found != answers_.end()) {
            answer = found->second;
        }
    }
    if (answer.kind == Answer::Kind::Stall) {
        // Says nothing until the client gives up (or the test ends).
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop_ && std::chrono::steady_clock::now() < until) {
            pollfd p{connection, POLLIN, 0};
            if (::poll(&p, 1, 50) == 1 && ::recv(connection, chunk, sizeof chunk, 0) <= 0) {
                return; // the client hung up
            }
        }
        return;
    }
    const bool truncated = answer.kind == Answer::Kind::Truncated;
    std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " Answer\r\n" + answer.headers +
                        "Content-Length: " + std::to_string(answer.body.size() * (truncated ? 2 : 1)) +
                        "\r\nConnection: close\r\n\r\n" + answer.body;
    SendAll(connection, reply);
}

} // namespace tolvane::test
