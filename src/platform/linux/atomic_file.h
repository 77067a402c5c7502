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
// it over path. A symbolic link at path is followed, so the link stays; an
// existing file's permissions are kept. False when any step fails; the old file
// is then unchanged and no temporary file is left behind.
bool ReplaceFileContent(const std::string& path, std::string_view content);

// Fault injection for tests: the next ReplaceFileContent fails at this step, as
// if its system call had failed.
enum class ReplaceStep { None, CreateTemporary, Write, Sync, Close, Rename };
void FailNextReplacementAt(ReplaceStep step);

}  // namespace vardel::platform::linux_layer
