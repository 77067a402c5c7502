#include "platform/linux/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>

namespace vardel::platform::linux_layer {
namespace {

ReplaceStep& InjectedFault() {
    static ReplaceStep step = ReplaceStep::None;
    return step;
}

// True when the step is to fail now (an injected fault fails once).
bool Fails(ReplaceStep step) {
    if (InjectedFault() != step) return false;
    InjectedFault() = ReplaceStep::None;
    errno = EIO;
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary files are named "<name>.<process>.<count>.tmp" beside the file.
bool IsTemporaryNameOf(const std::string& entry, const std::string& name) {
    const std::string_view suffix = ".tmp";
    if (entry.size() <= name.size() + 1 + suffix.size() || entry.compare(0, name.size(), name) != 0 ||
        entry[name.size()] != '.' || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string_view middle(entry.data() + name.size() + 1, entry.size() - name.size() - 1 - suffix.size());
    const std::size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == middle.size()) return false;
    for (std::size_t i = 0; i < middle.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(middle[i]))) return false;
    return true;
}

// A writer holds an exclusive lock on its temporary file from its creation until
// the rename. A temporary file of path that nobody holds was left by a writer
// that was killed (or failed to remove it): it is removed.
void RemoveLeftOvers(const std::string& path) {
    DIR* dir = opendir(FolderOf(path).c_str());
    if (!dir) return;
    const std::string folder = FolderOf(path) + "/";
    const std::string name = NameOf(path);
    while (const dirent* entry = readdir(dir)) {
        if (!IsTemporaryNameOf(entry->d_name, name)) continue;
        const std::string leftOver = folder + entry->d_name;
        const int fd = open(leftOver.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {}, named {};
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            lstat(leftOver.c_str(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            unlink(leftOver.c_str());
        close(fd);
    }
    closedir(dir);
}

// Creates a new, unique file beside path, locked against RemoveLeftOvers of other
// writers; the mode is that of a new file (the process's umask applies).
int CreateTemporary(const std::string& path, std::string& temporaryPath) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + "." + std::to_string(getpid()) + "." + std::to_string(++counter) + ".tmp";
        if (Fails(ReplaceStep::CreateTemporary)) return -1;
        const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        // Another writer may have taken the new file for a left-over between its
        // creation and the lock: then it is (being) removed, and the next name is
        // tried. A file system without locks leaves the file unlocked (and
        // left-overs there stay: nobody can tell them from files being written).
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) return fd;
            close(fd);
            continue;
        }
        struct stat opened {}, named {};
        if (fstat(fd, &opened) == 0 && lstat(temporaryPath.c_str(), &named) == 0 && named.st_ino == opened.st_ino)
            return fd;
        close(fd);
    }
    return -1;
}

// A regular file without any write permission, or one this process may not
// write, is read-only: it is never replaced (as Windows refuses to replace a
// file with the read-only attribute, whoever asks).
bool IsReadOnly(const struct stat& st, const std::string& path) {
    if (!S_ISREG(st.st_mode)) return false;
    return (st.st_mode & 0222) == 0 || faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        if (Fails(ReplaceStep::Write)) return false;
        const ssize_t n = write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The new file takes the old one's permissions and, where allowed, its owner;
// what replaces a symbolic link or any other kind of file is a new file.
void KeepAttributes(int fd, const struct stat& old) {
    if (!S_ISREG(old.st_mode)) return;
    (void)!fchown(fd, old.st_uid, old.st_gid);
    (void)!fchmod(fd, old.st_mode & 07777);
}

// Makes the rename itself durable; a failure here no longer endangers the file.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? ReadOutcome::Missing : ReadOutcome::Failed;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            content.clear();
            return ReadOutcome::Failed;  // also a folder opened by that name
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return ReadOutcome::Read;
}

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    struct stat old {};
    const bool exists = lstat(path.c_str(), &old) == 0;
    if (exists && IsReadOnly(old, path)) {
        errno = EACCES;
        return false;
    }
    RemoveLeftOvers(path);
    std::string temporary;
    const int fd = CreateTemporary(path, temporary);
    if (fd < 0) return false;
    if (exists) KeepAttributes(fd, old);
    // The lock lives as long as any descriptor of the open file: this second one
    // keeps it from the close until the rename is done.
    const int lock = dup(fd);

    bool ok = lock >= 0 && WriteAll(fd, content);
    ok = ok && !Fails(ReplaceStep::Sync) && fsync(fd) == 0;
    bool closed = close(fd) == 0;
    if (Fails(ReplaceStep::Close)) closed = false;
    ok = ok && closed;
    // The rename replaces whatever path names, a symbolic link included: never
    // the file a link points to.
    ok = ok && !Fails(ReplaceStep::Rename) && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    if (lock >= 0) close(lock);
    if (!ok) return false;
    SyncFolder(FolderOf(path));
    return true;
}

FolderLock::FolderLock(const std::string& path) {
    fd_ = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    // A writer holds the lock for one read and one replacement; one that takes
    // far longer (a hung network file system) is not waited for.
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        usleep(10000);
    }
    close(fd_);
    fd_ = -1;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
}

void FailNextReplacementAt(ReplaceStep step) { InjectedFault() = step; }

}  // namespace vardel::platform::linux_layer
