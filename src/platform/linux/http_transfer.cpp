// One HTTP(S) transfer on libcurl, with the limits that keep the host's thread
// from hanging and its memory from running out: connect time-out 10 s, whole
// transfer 30 s, at most 5 redirects, at most 16 MiB of (decompressed) body.
// Certificates are verified against the system's store (libcurl's defaults,
// never turned off here).
#include <curl/curl.h>

#include <cctype>

#include "platform/linux/libxml_layer.h"

namespace vardel::platform::linux_layer {
namespace {

// What the component says about itself to servers.
constexpr const char* kUserAgent = "Mozilla/5.0 (compatible; Vardel2/2.0)";

struct Transfer {
    CURL* curl = nullptr;
    const BodyReceiver* receiver = nullptr;
    std::size_t received = 0;
    bool stoppedByReceiver = false;
    bool tooLarge = false;
};

std::size_t ReceiveBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
    // The body of a redirect that is followed is not the document.
    if (status >= 300 && status < 400) return bytes;
    transfer->received += bytes;
    if (transfer->received > kMaxResponseBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (!(*transfer->receiver)(status, std::string_view(data, bytes))) {
        transfer->stoppedByReceiver = true;
        return 0;
    }
    return bytes;
}

bool IsHttpUrl(const std::string& url) {
    const auto startsWith = [&](const char* prefix) {
        const std::string_view p(prefix);
        if (url.size() < p.size()) return false;
        for (std::size_t i = 0; i < p.size(); ++i)
            if (static_cast<char>(std::tolower(static_cast<unsigned char>(url[i]))) != p[i]) return false;
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

}  // namespace

HttpTransferOutcome HttpTransfer(const HttpTransferRequest& request, const BodyReceiver& receiver) {
    InitialiseXmlAndHttp();
    HttpTransferOutcome outcome;
    if (!IsHttpUrl(request.url)) {
        outcome.error = "not an http or https address";
        return outcome;
    }
    Transfer transfer;
    transfer.receiver = &receiver;
    transfer.curl = curl_easy_init();
    if (!transfer.curl) {
        outcome.error = "libcurl could not start a transfer";
        return outcome;
    }
    CURL* curl = transfer.curl;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxResponseBytes));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    if (request.method == "HEAD")
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    else if (request.method != "GET")
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());

    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    for (const std::string& line : request.headerLines) {
        if (curl_slist* more = curl_slist_append(headers, line.c_str())) headers = more;
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode result = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.status);
    outcome.completed = result == CURLE_OK;
    outcome.stoppedByReceiver = transfer.stoppedByReceiver;
    outcome.tooLarge = transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED;
    if (!outcome.completed) outcome.error = errorText[0] ? errorText : curl_easy_strerror(result);

    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return outcome;
}

}  // namespace vardel::platform::linux_layer
