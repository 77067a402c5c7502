#include "platform/linux/http_client.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>

#include "platform/linux/companion_module.h"
#include "platform/linux/http_cache.h"
#include "platform/linux/http_module.h"

#ifndef VARDEL_VERSION
#error "VARDEL_VERSION names the product version"
#endif

namespace vardel::platform::linux_layer {
namespace {

using SteadyClock = std::chrono::steady_clock;

// ---- The module ------------------------------------------------------------------

std::mutex& ModuleFileMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& ModuleFile() {
    static auto& file = *new std::string(VARDEL_HTTP_MODULE_FILE);
    return file;
}

// The module's entry, opened on first use; null when the module is missing, is no
// loadable shared object or has no entry of this interface's version.
vardel_http_transfer_fn ModuleEntry(std::string& error) {
    std::string file;
    {
        std::lock_guard lock(ModuleFileMutex());
        file = ModuleFile();
    }
    void* module = OpenCompanionModule(file.c_str(), &error);
    if (!module) return nullptr;
    auto entry = reinterpret_cast<vardel_http_transfer_fn>(CompanionSymbol(module, VARDEL_HTTP_ENTRY));
    if (!entry) error = file + " has no entry " VARDEL_HTTP_ENTRY;
    return entry;
}

// ---- The time limit of the current site's fetch ------------------------------------

// Nanoseconds of the steady clock at which the limit runs out; 0: no limit.
std::atomic<std::int64_t> gDeadline{0};

std::int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count();
}

// Milliseconds left under the limit (at most `cap`); 0 when it has run out.
long TimeLeft(long cap) {
    const std::int64_t deadline = gDeadline.load();
    if (deadline == 0) return cap;
    const std::int64_t left = (deadline - SteadyNow()) / 1'000'000;
    if (left <= 0) return 0;
    return left < cap ? static_cast<long>(left) : cap;
}

// ---- One exchange with the module ---------------------------------------------------

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The head fields of the final response that the cache needs.
struct ResponseHead {
    std::string etag, lastModified, retryAfter;
    bool noStore = false;

    void Line(std::string_view line) {
        if (line.substr(0, 5) == "HTTP/") {
            *this = ResponseHead{};  // a new response (after a redirect or a 100)
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trimmed(line.substr(colon + 1));
        const auto is = [name](std::string_view wanted) {
            return name.size() == wanted.size() && StartsWithIgnoringCase(name, wanted);
        };
        if (is("etag")) etag = value;
        else if (is("last-modified")) lastModified = value;
        else if (is("retry-after")) retryAfter = value;
        else if (is("cache-control")) noStore = noStore || CacheControlSaysNoStore(value);
    }

    static bool CacheControlSaysNoStore(std::string_view value) {
        while (!value.empty()) {
            const std::size_t comma = value.find(',');
            std::string_view directive = Trimmed(value.substr(0, comma));
            if (directive.size() == 8 && StartsWithIgnoringCase(directive, "no-store")) return true;
            if (comma == std::string_view::npos) break;
            value.remove_prefix(comma + 1);
        }
        return false;
    }
};

bool AsksToWait(long status) { return status == 429 || status == 503; }

struct Exchange {
    Exchange(const HttpTransferRequest& request, const BodyReceiver& receiver,
             const std::optional<CachedResponse>& stored, bool caching)
        : request(request), receiver(receiver), stored(stored), caching(caching) {}

    const HttpTransferRequest& request;
    const BodyReceiver& receiver;
    const std::optional<CachedResponse>& stored;
    const bool caching;

    ResponseHead head;
    bool decided = false;
    bool keepBody = false;    // a 200 to store
    bool swallow = false;     // an answer to wait whose body the stored one replaces
    std::string body;

    // What to do with the final response's body, decided at its first piece.
    void Decide(long status) {
        decided = true;
        if (!caching) return;
        keepBody = status == 200 && !head.noStore;
        swallow = AsksToWait(status) && !head.retryAfter.empty() && stored && stored->hasBody;
    }

    static void OnHeaderLine(void* context, const char* line, std::size_t length) {
        static_cast<Exchange*>(context)->head.Line(std::string_view(line, length));
    }
    static int OnBody(void* context, long status, const char* data, std::size_t length) {
        auto* exchange = static_cast<Exchange*>(context);
        if (!exchange->decided) exchange->Decide(status);
        if (exchange->swallow) return 1;
        const std::string_view bytes(data, length);
        if (exchange->keepBody) exchange->body.append(bytes);
        return exchange->receiver(status, bytes) ? 1 : 0;
    }
    static int KeepGoing(void* context) {
        const auto* exchange = static_cast<Exchange*>(context);
        // The time limit ends a transfer through the module's own time-out.
        return !exchange->request.keepGoing || exchange->request.keepGoing() ? 1 : 0;
    }
};

// ---- The cache -------------------------------------------------------------------------

// The cache of this user, when a GET may use it: not when the caller asks the
// server conditionally itself.
std::optional<HttpCache> CacheFor(const HttpTransferRequest& request) {
    if (request.method != "GET") return std::nullopt;
    for (const std::string& line : request.headerLines)
        if (StartsWithIgnoringCase(line, "if-none-match") || StartsWithIgnoringCase(line, "if-modified-since") ||
            StartsWithIgnoringCase(line, "range"))
            return std::nullopt;
    std::string folder = HttpCacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
    if (folder.empty()) return std::nullopt;
    return HttpCache(std::move(folder));
}

// Hands the stored body over as the 200 it once was.
void ServeStored(const CachedResponse& stored, const BodyReceiver& receiver, HttpTransferOutcome& outcome) {
    outcome.fromCache = true;
    outcome.completed = true;
    outcome.error.clear();
    if (!receiver(200, stored.body)) outcome.stoppedByReceiver = true;
}

std::string TimeText(std::int64_t secondsSince1970) {
    const auto t = static_cast<std::time_t>(secondsSince1970);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

// After the exchange: what the answer means for the stored entry, and the stored
// body where it serves.
void UpdateCache(HttpCache& cache, const std::string& url, std::optional<CachedResponse>& stored,
                 Exchange& exchange, const BodyReceiver& receiver, HttpTransferOutcome& outcome) {
    const long status = outcome.status;
    const ResponseHead& head = exchange.head;
    if (status == 304 && outcome.completed && stored && stored->hasBody) {
        CachedResponse updated = *stored;
        if (!head.etag.empty()) updated.etag = head.etag;
        if (!head.lastModified.empty()) updated.lastModified = head.lastModified;
        updated.retryUntil = 0;
        if (updated.etag != stored->etag || updated.lastModified != stored->lastModified || stored->retryUntil != 0)
            cache.Store(url, updated);
        else
            cache.Touch(url);
        ServeStored(*stored, receiver, outcome);
        return;
    }
    if (status == 200 && outcome.completed && exchange.decided) {
        if (head.noStore) {
            cache.Erase(url);
            return;
        }
        CachedResponse fresh;
        fresh.etag = head.etag;
        fresh.lastModified = head.lastModified;
        fresh.hasBody = true;
        fresh.body = std::move(exchange.body);
        const bool unchanged = stored && stored->hasBody && stored->retryUntil == 0 && stored->etag == fresh.etag &&
                               stored->lastModified == fresh.lastModified && stored->body.size() == fresh.body.size() &&
                               stored->body == fresh.body;
        if (unchanged)
            cache.Touch(url);
        else
            cache.Store(url, fresh);
        return;
    }
    if (AsksToWait(status) && !head.retryAfter.empty()) {
        const std::int64_t now = cache.Now();
        if (const std::optional<std::int64_t> until = RetryAfterUntil(head.retryAfter, now)) {
            CachedResponse waiting = stored.value_or(CachedResponse{});
            waiting.retryUntil = *until;
            cache.Store(url, waiting);
        }
        if (exchange.swallow) ServeStored(*stored, receiver, outcome);
    }
}

}  // namespace

const char* HttpUserAgent() { return "Vardel2/" VARDEL_VERSION " (news feed plug-in; Linux)"; }

void LimitNetworkTime(std::uint32_t milliseconds) {
    gDeadline = milliseconds == 0 ? 0 : SteadyNow() + static_cast<std::int64_t>(milliseconds) * 1'000'000;
}

void UseHttpModuleFile(std::string fileName) {
    std::lock_guard lock(ModuleFileMutex());
    ModuleFile() = std::move(fileName);
}

HttpTransferOutcome HttpTransfer(const HttpTransferRequest& request, const BodyReceiver& receiver) {
    HttpTransferOutcome outcome;
    std::optional<HttpCache> cache = CacheFor(request);
    std::optional<CachedResponse> stored = cache ? cache->Find(request.url) : std::nullopt;
    if (stored && stored->HeldOff(cache->Now())) {
        if (stored->hasBody) {
            ServeStored(*stored, receiver, outcome);
        } else {
            outcome.error = "the server asked for no request before " + TimeText(stored->retryUntil);
        }
        return outcome;
    }

    const long timeLeft = TimeLeft(kTransferTimeoutMs);
    if (timeLeft == 0) {
        outcome.error = "the time limit of this fetch has run out";
        return outcome;
    }
    std::string moduleError;
    const vardel_http_transfer_fn transfer = ModuleEntry(moduleError);
    if (!transfer) {
        outcome.error = "HTTP is not available: " + moduleError;
        return outcome;
    }

    std::vector<std::string> lines = request.headerLines;
    if (stored && stored->hasBody) {
        if (!stored->etag.empty()) lines.push_back("If-None-Match: " + stored->etag);
        if (!stored->lastModified.empty()) lines.push_back("If-Modified-Since: " + stored->lastModified);
    }
    std::vector<const char*> linePointers;
    linePointers.reserve(lines.size());
    for (const std::string& line : lines) linePointers.push_back(line.c_str());

    Exchange exchange(request, receiver, stored, cache.has_value());
    vardel_http_request moduleRequest{};
    moduleRequest.method = request.method.c_str();
    moduleRequest.url = request.url.c_str();
    moduleRequest.header_lines = linePointers.data();
    moduleRequest.header_count = linePointers.size();
    moduleRequest.user_agent = HttpUserAgent();
    moduleRequest.connect_timeout_ms = timeLeft < kConnectTimeoutMs ? timeLeft : kConnectTimeoutMs;
    moduleRequest.timeout_ms = timeLeft;
    moduleRequest.max_redirects = kMaxRedirects;
    moduleRequest.max_body_bytes = kMaxResponseBytes;
    moduleRequest.context = &exchange;
    moduleRequest.on_header_line = &Exchange::OnHeaderLine;
    moduleRequest.on_body = &Exchange::OnBody;
    moduleRequest.keep_going = &Exchange::KeepGoing;

    vardel_http_outcome moduleOutcome{};
    transfer(&moduleRequest, &moduleOutcome);
    outcome.completed = moduleOutcome.completed != 0;
    outcome.stoppedByReceiver = moduleOutcome.stopped_by_receiver != 0;
    outcome.stopped = moduleOutcome.stopped != 0;
    outcome.tooLarge = moduleOutcome.too_large != 0;
    outcome.status = moduleOutcome.status;
    outcome.error.assign(moduleOutcome.error, strnlen(moduleOutcome.error, sizeof moduleOutcome.error));

    // A 200 without a body calls no receiver; it still replaces the stored entry.
    if (!exchange.decided && outcome.completed) exchange.Decide(outcome.status);
    if (cache) UpdateCache(*cache, request.url, stored, exchange, receiver, outcome);
    return outcome;
}

}  // namespace vardel::platform::linux_layer
