#include "platform/linux/http_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/linux/atomic_file.h"

namespace vardel::platform::linux_layer {
namespace {

constexpr std::string_view kMagic = "vardel-http-cache 1\n";
constexpr std::string_view kEntrySuffix = ".http";
// Temporary files older than this belong to a writer that was killed.
constexpr std::int64_t kStaleTemporarySeconds = 60 * 60;

std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3u;
    }
    return hash;
}

std::string Hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Reads "key value\n" at pos; false when the line is not that key's.
bool ReadLine(std::string_view file, std::size_t& pos, std::string_view key, std::string_view& value) {
    const std::size_t end = file.find('\n', pos);
    if (end == std::string_view::npos) return false;
    const std::string_view line = file.substr(pos, end - pos);
    if (line.size() < key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ') return false;
    value = line.substr(key.size() + 1);
    pos = end + 1;
    return true;
}

// A decimal number of up to 19 digits, all of the text.
std::optional<std::uint64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<CachedResponse> ParseEntry(std::string_view file, std::string_view url) {
    if (file.substr(0, kMagic.size()) != kMagic) return std::nullopt;
    std::size_t pos = kMagic.size();
    std::string_view storedUrl, etag, lastModified, retryUntil, body;
    if (!ReadLine(file, pos, "url", storedUrl) || storedUrl != url) return std::nullopt;
    if (!ReadLine(file, pos, "etag", etag) || !ReadLine(file, pos, "last-modified", lastModified) ||
        !ReadLine(file, pos, "retry-until", retryUntil) || !ReadLine(file, pos, "body", body))
        return std::nullopt;
    if (pos >= file.size() || file[pos] != '\n') return std::nullopt;
    ++pos;
    const std::string_view rest = file.substr(pos);

    CachedResponse response;
    response.etag = etag;
    response.lastModified = lastModified;
    const std::optional<std::uint64_t> until = Decimal(retryUntil);
    if (!until || *until > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    response.retryUntil = static_cast<std::int64_t>(*until);
    if (body == "none") return rest.empty() ? std::optional(response) : std::nullopt;

    const std::size_t blank = body.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::optional<std::uint64_t> length = Decimal(body.substr(0, blank));
    if (!length || *length != rest.size()) return std::nullopt;
    const std::uint64_t hash = Fnv1a(rest);
    if (body.substr(blank + 1) != Hex16(hash)) return std::nullopt;
    response.hasBody = true;
    response.body = rest;
    response.bodyHash = hash;
    return response;
}

std::string SerializeEntry(std::string_view url, const CachedResponse& response) {
    std::string file(kMagic);
    file += "url ";
    file += url;
    file += "\netag ";
    file += response.etag;
    file += "\nlast-modified ";
    file += response.lastModified;
    file += "\nretry-until ";
    file += std::to_string(response.retryUntil);
    if (response.hasBody) {
        file += "\nbody ";
        file += std::to_string(response.body.size());
        file += ' ';
        file += Hex16(Fnv1a(response.body));
    } else {
        file += "\nbody none";
    }
    file += "\n\n";
    if (response.hasBody) file += response.body;
    return file;
}

// Makes the folder and any missing parent, private to the user.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsHexName(std::string_view name) {
    if (name.size() < 16) return false;
    for (char c : name.substr(0, 16))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::int64_t SystemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// ---- HTTP dates ----------------------------------------------------------------

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

class DateReader {
public:
    explicit DateReader(std::string_view text) : text_(text) {}

    bool Char(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    void Blanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }
    // 1 to maxDigits digits.
    bool Number(int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + (text_[pos_++] - '0');
            ++digits;
        }
        return digits > 0;
    }
    bool Digits(int count, int& value) {
        const std::size_t start = pos_;
        return Number(count, value) && pos_ - start == static_cast<std::size_t>(count);
    }
    bool Letters(std::string_view& word) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && ((text_[pos_] >= 'A' && text_[pos_] <= 'Z') || (text_[pos_] >= 'a' && text_[pos_] <= 'z')))
            ++pos_;
        word = text_.substr(start, pos_ - start);
        return !word.empty();
    }
    bool Month(int& month) {
        static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        std::string_view word;
        if (!Letters(word)) return false;
        for (int m = 0; m < 12; ++m)
            if (word == kMonths[m]) {
                month = m + 1;
                return true;
            }
        return false;
    }
    bool Time(int& hour, int& minute, int& second) {
        return Digits(2, hour) && Char(':') && Digits(2, minute) && Char(':') && Digits(2, second);
    }
    bool AtEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::optional<std::int64_t> Seconds(int year, int month, int day, int hour, int minute, int second) {
    static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1] || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
           minute * 60 + second;
}

}  // namespace

bool CachedResponse::HeldOff(std::int64_t now) const {
    return retryUntil > now && retryUntil - now <= kMaxRetryAfterSeconds;
}

HttpCache::HttpCache(std::string folder, std::uint64_t maxBytes, WallClock now)
    : folder_(std::move(folder)), maxBytes_(maxBytes), now_(now ? std::move(now) : WallClock(SystemSeconds)) {}

std::int64_t HttpCache::Now() const { return now_(); }

std::string HttpCache::FileOf(std::string_view url) const {
    return folder_ + "/" + Hex16(Fnv1a(url)) + std::string(kEntrySuffix);
}

std::optional<CachedResponse> HttpCache::Find(std::string_view url) const {
    std::string file;
    if (ReadWholeFile(FileOf(url), file) != ReadOutcome::Read) return std::nullopt;
    return ParseEntry(file, url);
}

bool HttpCache::Store(std::string_view url, const CachedResponse& response) {
    if (HasLineBreak(url) || HasLineBreak(response.etag) || HasLineBreak(response.lastModified)) return false;
    const std::string file = SerializeEntry(url, response);
    if (file.size() > maxBytes_ || !MakeFolders(folder_)) return false;
    const std::string path = FileOf(url);
    if (!ReplaceFileContent(path, file)) return false;
    Trim(path);
    return true;
}

void HttpCache::Erase(std::string_view url) { std::remove(FileOf(url).c_str()); }

void HttpCache::Touch(std::string_view url) { utimensat(AT_FDCWD, FileOf(url).c_str(), nullptr, 0); }

void HttpCache::Trim(const std::string& keep) {
    struct Entry {
        std::string path;
        std::uint64_t size;
        timespec used;
    };
    std::vector<Entry> entries;
    std::uint64_t total = 0;
    DIR* dir = opendir(folder_.c_str());
    if (!dir) return;
    const std::int64_t now = SystemSeconds();
    while (const dirent* d = readdir(dir)) {
        const std::string_view name = d->d_name;
        if (!IsHexName(name)) continue;
        const std::string path = folder_ + "/" + std::string(name);
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const std::string_view rest = name.substr(16);
        if (rest == kEntrySuffix) {
            entries.push_back({path, static_cast<std::uint64_t>(st.st_size), st.st_mtim});
            total += static_cast<std::uint64_t>(st.st_size);
        } else if (rest.substr(0, kEntrySuffix.size() + 1) == ".http." && rest.ends_with(".tmp") &&
                   now - st.st_mtim.tv_sec > kStaleTemporarySeconds) {
            std::remove(path.c_str());
        }
    }
    closedir(dir);
    if (total <= maxBytes_) return;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.used.tv_sec != b.used.tv_sec) return a.used.tv_sec < b.used.tv_sec;
        return a.used.tv_nsec < b.used.tv_nsec;
    });
    for (const Entry& entry : entries) {
        if (total <= maxBytes_) break;
        if (entry.path == keep) continue;
        if (std::remove(entry.path.c_str()) == 0) total -= entry.size;
    }
}

std::string HttpCacheFolder(const char* xdgCacheHome, const char* home) {
    // Relative values are to be ignored, as the base-directory rules say.
    if (xdgCacheHome && xdgCacheHome[0] == '/') return std::string(xdgCacheHome) + "/vardel";
    if (home && home[0] == '/') return std::string(home) + "/.cache/vardel";
    return {};
}

std::optional<std::int64_t> RetryAfterUntil(std::string_view value, std::int64_t now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty()) return std::nullopt;
    std::int64_t until;
    if (value.find_first_not_of("0123456789") == std::string_view::npos) {
        // Any number of seconds beyond the longest hold-off is the longest hold-off.
        const std::optional<std::uint64_t> seconds = value.size() <= 19 ? Decimal(value) : std::nullopt;
        const std::int64_t delay = seconds && *seconds < static_cast<std::uint64_t>(kMaxRetryAfterSeconds)
                                       ? static_cast<std::int64_t>(*seconds)
                                       : kMaxRetryAfterSeconds;
        until = now + delay;
    } else {
        const std::optional<std::int64_t> date = ParseHttpDate(value);
        if (!date) return std::nullopt;
        until = std::min(*date, now + kMaxRetryAfterSeconds);
    }
    if (until <= now) return std::nullopt;
    return until;
}

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
    DateReader r(text);
    std::string_view weekday;
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!r.Letters(weekday)) return std::nullopt;
    if (r.Char(',')) {
        r.Blanks();
        if (!r.Digits(2, day)) return std::nullopt;
        if (r.Char('-')) {
            // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"; a two-digit year names the
            // nearest such year, taken here as 1970 to 2069.
            if (!r.Month(month) || !r.Char('-') || !r.Digits(2, year)) return std::nullopt;
            year += year < 70 ? 2000 : 1900;
        } else {
            // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT"
            if (!r.Char(' ') || !r.Month(month) || !r.Char(' ') || !r.Digits(4, year)) return std::nullopt;
        }
        std::string_view zone;
        if (!r.Char(' ') || !r.Time(hour, minute, second) || !r.Char(' ') || !r.Letters(zone) || zone != "GMT" ||
            !r.AtEnd())
            return std::nullopt;
    } else {
        // asctime: "Sun Nov  6 08:49:37 1994"
        if (!r.Char(' ') || !r.Month(month) || !r.Char(' ')) return std::nullopt;
        r.Blanks();
        if (!r.Number(2, day) || !r.Char(' ') || !r.Time(hour, minute, second) || !r.Char(' ') || !r.Digits(4, year) ||
            !r.AtEnd())
            return std::nullopt;
    }
    return Seconds(year, month, day, hour, minute, second);
}

}  // namespace vardel::platform::linux_layer
