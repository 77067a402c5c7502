// The Linux layer's profile (INI) files: the rules of the Windows private-profile
// functions (ini_file.h). Reads use the sections and keys of the file as it is
// on disk, gathered once per version of the file; every change that alters a
// file replaces it atomically.
//
// A profile is read in the plug-in's code page: its bytes are the plug-in's
// texts as they stand (a value read into a buffer is cut where no character is
// split). Section and key names match with ASCII case folding; the Windows functions
// fold the letters of the system's code page as well, which no name of the
// plug-in needs.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <limits>
#include <list>
#include <string>

#include "platform/linux/atomic_file.h"
#include "platform/linux/ini_file.h"
#include "platform/linux/linux_layer.h"
#include "text/code_page.h"

namespace vardel::platform::linux_layer {
namespace {

// What tells one version of a file from another: a write through a new file
// changes the inode, a write in place the size or the times. Times have the
// granularity of the system's coarse clock, so a file changed in place twice
// within a few milliseconds may keep its times: see Racy below.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static bool Of(const std::string& path, FileVersion& v) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) return false;
        v.device = st.st_dev;
        v.inode = st.st_ino;
        v.size = st.st_size;
        v.modified = st.st_mtim;
        v.changed = st.st_ctim;
        return true;
    }
    bool operator==(const FileVersion& o) const {
        return device == o.device && inode == o.inode && size == o.size && Same(modified, o.modified) &&
               Same(changed, o.changed);
    }
    static bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
};

// File times come from a clock that may lag by a tick (at most 10 ms). A version
// read less than a safe margin after its last change could be followed by another
// change with the very same times; such an entry is confirmed by its content
// until it is older.
bool Racy(const FileVersion& v, const timespec& readAt) {
    constexpr std::int64_t kMarginNs = 100'000'000;
    auto ns = [](const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    const std::int64_t latest = std::max(ns(v.modified), ns(v.changed));
    return latest + kMarginNs > ns(readAt);
}

// The indexes of the files read last (the host profile and the site list).
class IndexCache {
public:
    const ini::Index& Of(const std::string& path) {
        static const ini::Index kEmpty;
        FileVersion version;
        // A file that is missing or cannot be read reads as empty.
        if (!FileVersion::Of(path, version)) return kEmpty;
        Entry* entry = Find(path);
        if (entry && entry->version == version && !entry->racy) return entry->index;

        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::string text;
        if (ReadWholeFile(path, text) != ReadOutcome::Read) return kEmpty;
        // The version was taken before the read: a change in between only makes
        // the next read gather the file again.
        if (!entry || !(entry->version == version) || entry->text != text) {
            if (!entry) entry = Add(path);
            entry->index = ini::Index(text);
            entry->text = std::move(text);
            entry->version = version;
        }
        entry->racy = Racy(version, now);
        return entry->index;
    }

private:
    static constexpr std::size_t kEntries = 4;
    struct Entry {
        std::string path;
        FileVersion version;
        bool racy = true;
        std::string text;
        ini::Index index;
    };

    // The entry of path, moved to the front; null when there is none.
    Entry* Find(const std::string& path) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->path != path) continue;
            entries_.splice(entries_.begin(), entries_, it);
            return &entries_.front();
        }
        return nullptr;
    }
    Entry* Add(const std::string& path) {
        entries_.push_front(Entry{path, {}, true, {}, {}});
        if (entries_.size() > kEntries) entries_.pop_back();
        return &entries_.front();
    }

    std::list<Entry> entries_;
};

class IniFileStore final : public ProfileStore {
public:
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue,
                           std::size_t bufferSize, std::string_view file) override {
        if (bufferSize == 0) return {};
        // The text as it stands in the file, in the plug-in's code page; cut as a
        // buffer of that size would hold it, but never inside a character.
        std::string value =
            cache_.Of(NativePath(file)).ReadString(section, key, defaultValue, std::numeric_limits<std::size_t>::max());
        value.resize(text::FitLength(value, bufferSize - 1));
        return value;
    }

    std::vector<std::string> ReadSection(std::string_view section, std::string_view file) override {
        return cache_.Of(NativePath(file)).ReadSection(section);
    }

    bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
        return Edit(file, [&](std::string& text) { return ini::WriteString(text, section, key, value); });
    }

    // Every write replaces the file whole already.
    bool WriteStringReplacingFile(std::string_view section, std::string_view key, std::string_view value,
                                  std::string_view file) override {
        return WriteString(section, key, value, file);
    }

    bool WriteSection(std::string_view section, const std::vector<std::string>& lines,
                      std::string_view file) override {
        return Edit(file, [&](std::string& text) { return ini::WriteSection(text, section, lines); });
    }

private:
    // Applies change to the file's text and stores the result. A file that exists
    // but cannot be read is never overwritten; an unchanged text is not written.
    // Another process's change between the read and the write is never lost.
    template <typename Change>
    static bool Edit(std::string_view file, Change change) {
        const std::string path = NativePath(file);
        const FolderLock lock(path);
        std::string text;
        const ReadOutcome outcome = ReadWholeFile(path, text);
        if (outcome == ReadOutcome::Failed) return false;
        const std::string before = text;
        if (!change(text)) return false;
        if (outcome == ReadOutcome::Read && text == before) return true;
        if (outcome == ReadOutcome::Missing && text.empty()) return true;
        return ReplaceFileContent(path, text);
    }

    IndexCache cache_;
};

}  // namespace

ProfileStore& IniProfileStore() {
    static IniFileStore store;
    return store;
}

}  // namespace vardel::platform::linux_layer
