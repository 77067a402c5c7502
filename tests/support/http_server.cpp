#include "support/http_server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vardel::testing {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }

// Winsock is started once for the whole test program and never stopped.
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("WSAStartup failed");
}

// Waits until the socket is readable; false on time-out.
bool WaitReadable(Socket s, int milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { ::close(s); }
void StartSockets() {}

bool WaitReadable(Socket s, int milliseconds) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) > 0;
}
#endif

// A listening or bound socket on 127.0.0.1 with a free port chosen by the system.
Socket BindLoopback(int& port) {
    StartSockets();
    Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        CloseSocket(s);
        throw std::runtime_error("bind() failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// A client that hung up must not end the test program with SIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool SendAll(Socket s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = ::send(s, data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Parses the request head (everything before the blank line).
HttpRequestSeen ParseHead(const std::string& head) {
    HttpRequestSeen seen;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = head.size();
        const std::string_view line(head.data() + lineStart, lineEnd - lineStart);
        if (first) {
            const auto space1 = line.find(' ');
            const auto space2 = line.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
            seen.method = std::string(line.substr(0, space1));
            if (space1 != std::string_view::npos)
                seen.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
            first = false;
        } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            seen.headers.emplace_back(std::string(line.substr(0, colon)),
                                      Trimmed(line.substr(colon + 1)));
        }
        lineStart = lineEnd + 2;
    }
    return seen;
}

std::string FormatHead(const HttpReply& reply) {
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonPhrase(reply.status) + "\r\n";
    if (!reply.contentType.empty()) out += "Content-Type: " + reply.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
    out += "\r\n";
    return out;
}

}  // namespace

std::string HttpRequestSeen::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsIgnoringCase(key, name)) return value;
    return {};
}

struct LoopbackHttpServer::Impl {
    Handler handler;
    Socket listener = kNoSocket;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptor;

    mutable std::mutex mutex;
    std::condition_variable stopped;  // wakes the connections that never answer
    std::vector<HttpRequestSeen> requests;
    std::vector<std::thread> connections;

    void AcceptLoop() {
        while (!stopping) {
            if (!WaitReadable(listener, 50)) continue;
            const Socket client = ::accept(listener, nullptr, nullptr);
            if (client == kNoSocket) continue;
            std::lock_guard lock(mutex);
            connections.emplace_back([this, client] { Serve(client); });
        }
    }

    // Reads one request head (and any body it announces), at most 10 s of silence.
    bool ReadRequest(Socket client, std::string& head) {
        std::string data;
        char buffer[4096];
        std::size_t headEnd;
        while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
            if (stopping || !WaitReadable(client, 10000)) return false;
            const int n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            data.append(buffer, static_cast<std::size_t>(n));
        }
        head = data.substr(0, headEnd);
        const HttpRequestSeen seen = ParseHead(head);
        const std::string length = seen.Header("Content-Length");
        const std::size_t bodyLength = length.empty() ? 0 : std::stoul(length);
        std::size_t have = data.size() - (headEnd + 4);
        while (have < bodyLength) {
            if (stopping || !WaitReadable(client, 10000)) return false;
            const int n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            have += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The head at once, then the body piece by piece; ends early when the server
    // stops or the client has gone.
    void Trickle(Socket client, const HttpReply& reply) {
        if (!SendAll(client, FormatHead(reply))) return;
        for (std::size_t sent = 0; sent < reply.body.size(); sent += reply.trickleBytes) {
            if (!SendAll(client, reply.body.substr(sent, reply.trickleBytes))) return;
            std::unique_lock lock(mutex);
            if (stopped.wait_for(lock, std::chrono::milliseconds(reply.trickleMs), [this] { return stopping.load(); }))
                return;
        }
    }

    void Serve(Socket client) {
        std::string head;
        if (ReadRequest(client, head)) {
            const HttpRequestSeen seen = ParseHead(head);
            {
                std::lock_guard lock(mutex);
                requests.push_back(seen);
            }
            const HttpReply reply = handler(seen);
            if (reply.neverAnswer) {
                std::unique_lock lock(mutex);
                stopped.wait(lock, [this] { return stopping.load(); });
            } else if (reply.trickleBytes == 0) {
                SendAll(client, FormatHead(reply) + reply.body);
            } else {
                Trickle(client, reply);
            }
        }
#ifdef _WIN32
        shutdown(client, SD_SEND);
#else
        shutdown(client, SHUT_WR);
#endif
        CloseSocket(client);
    }
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->listener = BindLoopback(impl_->port);
    if (::listen(impl_->listener, 16) != 0) {
        CloseSocket(impl_->listener);
        throw std::runtime_error("listen() failed");
    }
    impl_->acceptor = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopped.notify_all();
    impl_->acceptor.join();
    CloseSocket(impl_->listener);
    // No new connection threads start once the acceptor has ended.
    for (auto& connection : impl_->connections) connection.join();
}

int LoopbackHttpServer::Port() const { return impl_->port; }

std::string LoopbackHttpServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + std::string(path);
}

std::vector<HttpRequestSeen> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

int LoopbackHttpServer::RefusedPort() {
    // A port that was free a moment ago and has no listener: connections to it
    // are refused.
    int port = 0;
    CloseSocket(BindLoopback(port));
    return port;
}

}  // namespace vardel::testing
