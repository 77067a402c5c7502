// The entry interface of the HTTP module (Vardel2-http.so), the companion module
// that holds the HTTP(S) transport and links libcurl. The Linux layer opens it on
// the first fetch of an http or https address (platform/linux/companion_module.h),
// so that a plug-in which only reads files never loads libcurl and the libraries
// it pulls in.
//
// Plain C types only: the module and the layer share no C++ objects and no
// allocator. The module keeps no state between transfers but libcurl's global
// initialisation, which it makes on its first transfer.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VARDEL_HTTP_MODULE_FILE "Vardel2-http.so"
// The name carries the version of this interface: a module of another version
// has no such symbol and counts as missing.
#define VARDEL_HTTP_ENTRY "vardel_http_transfer_v1"

struct vardel_http_request {
    const char* method;               // "GET", "HEAD" or any other method text
    const char* url;                  // http or https only; others fail
    const char* const* header_lines;  // "Name: value" (or "Name;" for an empty value)
    size_t header_count;
    const char* user_agent;
    long connect_timeout_ms;          // > 0
    long timeout_ms;                  // > 0, the whole transfer
    long max_redirects;
    size_t max_body_bytes;            // of the decompressed body
    void* context;                    // handed to the three functions below
    // Every line of every response head, without its line end: the status line
    // ("HTTP/1.1 200 OK") begins each response, redirects included.
    void (*on_header_line)(void* context, const char* line, size_t length);
    // A piece of the final response's body; 0 stops the transfer.
    int (*on_body)(void* context, long status, const char* data, size_t length);
    // Asked at least every 100 ms while the transfer runs; 0 stops it. May be
    // null.
    int (*keep_going)(void* context);
};

struct vardel_http_outcome {
    int completed;            // a whole response arrived
    int stopped_by_receiver;  // on_body returned 0
    int stopped;              // keep_going returned 0
    int too_large;            // the body passed max_body_bytes
    long status;              // of the last response (after redirects); 0 for none
    char error[256];          // why it did not complete, "" when it did
};

typedef void (*vardel_http_transfer_fn)(const struct vardel_http_request* request,
                                        struct vardel_http_outcome* outcome);

#ifdef __cplusplus
}
#endif
