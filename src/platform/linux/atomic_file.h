// Whole-file reads and atomic replacement of a file's content, so that a crash,
// a full disk or any other failure during a save leaves either the old file or
// the new one, never a cut one.
#pragma once

#include <string>
#include <string_view>

namespace vardel::platform::linux_layer {

enum class ReadOutcome { Read, Missing, Failed };

// Reads the whole file. Missing: there is no such file (content empty); Failed:
// it exists but cannot be read (content empty).
ReadOutcome ReadWholeFile(const std::string& path, std::string& content);

// Writes content to a new file in the same folder (flushed to disk), then renames
// it over path, so a reader sees the old file or the new one, never a mixture.
// A symbolic link at path is replaced, never the file it points to; an existing
// file's permissions are kept; a read-only file (no write permission at all, or
// none for this process) is left alone and the answer is false. Temporary files
// of writers that were killed are removed. False when any step fails; the old
// file is then unchanged and no temporary file is left behind.
bool ReplaceFileContent(const std::string& path, std::string_view content);

// An exclusive lock on the folder of path, taken by every writer of this layer
// that reads a file, changes it and replaces it, so that two processes changing
// one file one after the other both keep their change. Without it (the folder
// cannot be opened or locked within five seconds) the change goes ahead unlocked.
class FolderLock {
public:
    explicit FolderLock(const std::string& path);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// Fault injection for tests: the next ReplaceFileContent fails at this step, as
// if its system call had failed.
enum class ReplaceStep { None, CreateTemporary, Write, Sync, Close, Rename };
void FailNextReplacementAt(ReplaceStep step);

}  // namespace vardel::platform::linux_layer
