// The Linux layer's HTTP cache: the last response of each address, so that a
// fetch can be revalidated with the server (a 304 gives the stored body) and can
// honour a server's request to wait (Retry-After), as the system's URL cache does
// for the components on Windows.
//
// One file per address in the user's cache folder ($XDG_CACHE_HOME/vardel/, else
// ~/.cache/vardel/), named by a hash of the address; each holds the address, the
// validators, the end of a hold-off and the body with its length and checksum. A
// file is replaced atomically (a temporary file in the same folder, then a
// rename), so a reader sees the old entry or the new one; a file that does not
// read back exactly (cut, altered, another address) counts as no entry. The
// folder is kept under a size bound by removing the entries used least recently.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vardel::platform::linux_layer {

inline constexpr std::uint64_t kHttpCacheMaxBytes = 64u * 1024u * 1024u;
// A Retry-After further ahead than this (or a stored hold-off that reads so, the
// clock having been set back) holds off no longer than this.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 24 * 60 * 60;

struct CachedResponse {
    std::string etag;          // "" for none
    std::string lastModified;  // "" for none
    std::int64_t retryUntil = 0;  // no request before this (seconds since 1970); 0: none
    bool hasBody = false;
    std::string body;
    std::uint64_t bodyHash = 0;  // set when read; for telling an unchanged body

    // The server asked not to be asked again before retryUntil, and that is still
    // ahead of now (by at most the longest hold-off).
    bool HeldOff(std::int64_t now) const;
};

class HttpCache {
public:
    using WallClock = std::function<std::int64_t()>;  // seconds since 1970

    explicit HttpCache(std::string folder, std::uint64_t maxBytes = kHttpCacheMaxBytes, WallClock now = {});

    // The stored response of the address; nothing when there is none or its file
    // does not read back exactly.
    std::optional<CachedResponse> Find(std::string_view url) const;
    // Stores the response of the address in place of the one before, then trims
    // the folder to the size bound (the new entry stays). False when it was not
    // written (an entry larger than the bound, an address with a line break, a
    // folder that cannot be made).
    bool Store(std::string_view url, const CachedResponse& response);
    // Removes the address's entry.
    void Erase(std::string_view url);
    // Marks the entry as just used, for the size bound.
    void Touch(std::string_view url);

    std::int64_t Now() const;
    // The file of the address's entry.
    std::string FileOf(std::string_view url) const;

private:
    void Trim(const std::string& keep);

    std::string folder_;
    std::uint64_t maxBytes_;
    WallClock now_;
};

// The cache folder for these values of XDG_CACHE_HOME and HOME (either may be
// null): "$XDG_CACHE_HOME/vardel" when that is an absolute path, else
// "$HOME/.cache/vardel"; "" when neither is usable.
std::string HttpCacheFolder(const char* xdgCacheHome, const char* home);

// The time a Retry-After value names, seconds since 1970: a number of seconds
// after now, or an HTTP date; at most kMaxRetryAfterSeconds ahead. Nothing for a
// value that is neither, or names no time after now.
std::optional<std::int64_t> RetryAfterUntil(std::string_view value, std::int64_t now);

// An HTTP date (IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", or the obsolete
// RFC 850 and asctime forms) as seconds since 1970.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

}  // namespace vardel::platform::linux_layer
