#include "platform/linux/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

// The file that path names, following symbolic links, so that a rename replaces
// the file and not the link.
std::string TargetOf(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) return resolved;
    // A dangling link: write where it points.
    char link[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
    if (n <= 0) return path;
    std::string target(link, static_cast<std::size_t>(n));
    if (target.front() == '/') return target;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new, unique file beside path; the mode is that of a new file (the
// process's umask applies).
int CreateTemporary(const std::string& path, std::string& temporaryPath) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + "." + std::to_string(getpid()) + "." + std::to_string(++counter) + ".tmp";
        if (Fails(ReplaceStep::CreateTemporary)) return -1;
        const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
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

// The new file takes the old one's permissions and, where allowed, its owner.
void KeepAttributes(int fd, const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return;
    (void)!fchown(fd, st.st_uid, st.st_gid);
    (void)!fchmod(fd, st.st_mode & 07777);
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
    const std::string target = TargetOf(path);
    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) return false;
    KeepAttributes(fd, target);

    bool ok = WriteAll(fd, content);
    ok = ok && !Fails(ReplaceStep::Sync) && fsync(fd) == 0;
    bool closed = close(fd) == 0;
    if (Fails(ReplaceStep::Close)) closed = false;
    ok = ok && closed;
    ok = ok && !Fails(ReplaceStep::Rename) && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

void FailNextReplacementAt(ReplaceStep step) { InjectedFault() = step; }

}  // namespace vardel::platform::linux_layer
