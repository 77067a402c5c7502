// A small HTTP/1.1 server on 127.0.0.1 for tests, on a free port, stopped by its
// destructor. It answers each request with what the test's handler returns and
// records every request it saw. Works on Linux and (through Winsock) under Wine.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vardel::testing {

struct HttpRequestSeen {
    std::string method;   // as sent, e.g. "GET"
    std::string target;   // path and query, e.g. "/feed.xml"
    std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
    // The value of the first header of that name (case-insensitive), or "".
    std::string Header(std::string_view name) const;
};

struct HttpReply {
    int status = 200;
    std::string contentType = "application/xml";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers (Location, ...)
    bool neverAnswer = false;  // keep the connection open and say nothing
    // Send the body slowly: this many bytes, then a pause of trickleMs, and so on
    // (0: all at once).
    std::size_t trickleBytes = 0;
    int trickleMs = 0;
};

class LoopbackHttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequestSeen&)>;
    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int Port() const;
    // "http://127.0.0.1:PORT" followed by path (which starts with "/").
    std::string Url(std::string_view path) const;
    // Every request seen so far, in order.
    std::vector<HttpRequestSeen> Requests() const;

    // A loopback port on which nothing listens (connections are refused).
    static int RefusedPort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vardel::testing
