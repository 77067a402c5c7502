// HTTP for the Linux layer's components (LOAD of an http or https address, SEND
// of the HTTP request component): the transport in the HTTP module, opened on the
// first fetch, behind the user's HTTP cache (platform/linux/http_cache.h) and the
// time limit of the current site's fetch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::platform::linux_layer {

// Limits that keep a fetch from hanging the host or exhausting its memory.
inline constexpr long kConnectTimeoutMs = 10'000;
inline constexpr long kTransferTimeoutMs = 30'000;
inline constexpr long kMaxRedirects = 5;
inline constexpr std::size_t kMaxResponseBytes = 16u * 1024u * 1024u;

struct HttpTransferRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headerLines;  // "Name: value"
    // Asked at least every 100 ms while the transfer runs; false ends it. Empty:
    // the transfer runs until it completes, fails or times out.
    std::function<bool()> keepGoing;
};

struct HttpTransferOutcome {
    bool completed = false;    // a whole response arrived (or the stored one served)
    bool stoppedByReceiver = false;
    bool stopped = false;      // keepGoing said so
    bool tooLarge = false;
    bool fromCache = false;    // the body given was the stored one: after a 304, or
                               // while the server asked to wait (Retry-After)
    long status = 0;           // of the last response (after redirects); 0 when no
                               // request was made
    std::string error;         // why it did not complete
};

// Receives the body in pieces, with the status of the response it belongs to (a
// stored body comes as the 200 it once was); false stops the transfer.
using BodyReceiver = std::function<bool(long status, std::string_view bytes)>;

// One HTTP transfer. A GET goes through the HTTP cache: a stored response is
// revalidated (If-None-Match, If-Modified-Since) and a 304 gives its body; a 429
// or 503 with Retry-After holds off every request to the address until then, and
// the stored body, if any, serves meanwhile. Without the HTTP module the transfer
// fails as an unreachable server would (status 0, not completed).
HttpTransferOutcome HttpTransfer(const HttpTransferRequest& request, const BodyReceiver& receiver);

// The time limit of one site's fetch (ComponentFactory::LimitNetworkTime): every
// transfer from now on ends within that many milliseconds from now, all together;
// 0 lifts it.
void LimitNetworkTime(std::uint32_t milliseconds);

// What the layer says about itself to servers: the product and its version.
const char* HttpUserAgent();

// Tests: the file name of the HTTP module to open from now on (a missing or
// broken module). A file name is opened once per process and kept.
void UseHttpModuleFile(std::string fileName);

}  // namespace vardel::platform::linux_layer
