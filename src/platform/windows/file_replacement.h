// Replacing a file whole: the new content is written under a temporary name in
// the same folder and moved over the old file, so that a reader or a crash sees
// the old file or the new one, never a mixture.
#pragma once

#include <functional>
#include <string>

namespace vardel::platform::windows_layer {

// Lets write make the new file at the temporary path it is given (beside path,
// named "<name>.<process>.<count>.tmp"), then moves it over path (MoveFileEx
// with replace; a symbolic link at path is replaced, not its target). A
// read-only file is left alone. Temporary files of earlier writers whose process
// is gone are removed first. False when write or the move fails, or the file is
// read-only; the old file is then unchanged and the temporary file removed.
bool ReplaceFileThrough(const std::string& path, const std::function<bool(const std::string& temporary)>& write);

// The temporary files are named so: exposed for the tests.
bool IsTemporaryNameOf(const std::string& entry, const std::string& name, unsigned long& process);

}  // namespace vardel::platform::windows_layer
