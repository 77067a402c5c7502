// The HTTP module: one HTTP(S) transfer on libcurl, with the limits the caller
// gives (connect time-out, whole transfer, redirects, body size). Certificates are
// verified against the system's store (libcurl's defaults, never turned off
// here). libcurl never raises or blocks signals on our behalf (CURLOPT_NOSIGNAL);
// the transfer runs in a loop of our own that waits at most kPollMs at a time and
// asks keep_going after each wait, so a caller (a host that got SIGTERM, say) can
// end it within that time.
//
// Built as a module of its own (Vardel2-http.so); the Linux layer opens it on
// first use, see http_module.h.
#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/linux/http_module.h"

namespace {

constexpr int kPollMs = 100;

struct Transfer {
    CURL* curl = nullptr;
    const vardel_http_request* request = nullptr;
    std::size_t received = 0;
    bool stoppedByReceiver = false;
    bool stopped = false;
    bool tooLarge = false;
};

long ResponseStatus(CURL* curl) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::size_t ReceiveBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    const long status = ResponseStatus(transfer->curl);
    // The body of a redirect that is followed is not the document.
    if (status >= 300 && status < 400) return bytes;
    transfer->received += bytes;
    if (transfer->received > transfer->request->max_body_bytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (!transfer->request->on_body(transfer->request->context, status, data, bytes)) {
        transfer->stoppedByReceiver = true;
        return 0;
    }
    return bytes;
}

std::size_t ReceiveHeaderLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    std::size_t length = bytes;
    while (length > 0 && (data[length - 1] == '\n' || data[length - 1] == '\r')) --length;
    if (transfer->request->on_header_line) transfer->request->on_header_line(transfer->request->context, data, length);
    return bytes;
}

bool KeepGoing(const vardel_http_request* request) {
    return !request->keep_going || request->keep_going(request->context);
}

// Runs the transfer to its end, or until keep_going says stop (then "stopped").
CURLcode Perform(Transfer& transfer) {
    CURLM* multi = curl_multi_init();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi, transfer.curl) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    bool done = false;
    for (int running = 1; !done;) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0) break;
        if (!KeepGoing(transfer.request)) {
            transfer.stopped = true;
            break;
        }
        // Returns early when there is something to do, or on a signal.
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    curl_multi_remove_handle(multi, transfer.curl);
    curl_multi_cleanup(multi);
    return result;
}

bool IsHttpUrl(const char* url) {
    const auto startsWith = [url](std::string_view prefix) {
        for (std::size_t i = 0; i < prefix.size(); ++i)
            if (url[i] == '\0' || static_cast<char>(std::tolower(static_cast<unsigned char>(url[i]))) != prefix[i])
                return false;
        return true;
    };
    return url && (startsWith("http://") || startsWith("https://"));
}

void SetError(vardel_http_outcome* outcome, const char* text) {
    std::snprintf(outcome->error, sizeof outcome->error, "%s", text);
}

bool InitialiseCurl() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return initialised;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void vardel_http_transfer_v1(const vardel_http_request* request,
                                                                             vardel_http_outcome* outcome) {
    *outcome = vardel_http_outcome{};
    if (!IsHttpUrl(request->url)) return SetError(outcome, "not an http or https address");
    if (!InitialiseCurl()) return SetError(outcome, "libcurl could not be initialised");
    Transfer transfer;
    transfer.request = request;
    transfer.curl = curl_easy_init();
    if (!transfer.curl) return SetError(outcome, "libcurl could not start a transfer");
    CURL* curl = transfer.curl;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_URL, request->url);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, request->max_redirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request->connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request->timeout_ms);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request->max_body_bytes));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, request->user_agent);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReceiveHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    if (std::strcmp(request->method, "HEAD") == 0)
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    else if (std::strcmp(request->method, "GET") != 0)
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request->method);

    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    for (std::size_t i = 0; i < request->header_count; ++i) {
        if (curl_slist* more = curl_slist_append(headers, request->header_lines[i])) headers = more;
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode result = Perform(transfer);
    outcome->status = ResponseStatus(curl);
    outcome->completed = result == CURLE_OK;
    outcome->stopped_by_receiver = transfer.stoppedByReceiver;
    outcome->stopped = transfer.stopped;
    outcome->too_large = transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED;
    if (transfer.stopped)
        SetError(outcome, "the transfer was ended by its caller");
    else if (!outcome->completed)
        SetError(outcome, errorText[0] ? errorText : curl_easy_strerror(result));

    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
}
