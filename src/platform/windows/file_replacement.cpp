#include "platform/windows/file_replacement.h"

#include <windows.h>

#include <cctype>
#include <string>
#include <string_view>

namespace vardel::platform::windows_layer {
namespace {

std::string::size_type LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

std::string FolderOf(const std::string& path) {
    const auto slash = LastSeparator(path);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const auto slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A process that still runs (or that cannot be asked: another user's) keeps its
// temporary files.
bool ProcessRuns(DWORD process) {
    if (process == GetCurrentProcessId()) return false;  // saves of ours never overlap
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool runs = GetExitCodeProcess(handle, &code) && code == STILL_ACTIVE;
    CloseHandle(handle);
    return runs;
}

void RemoveLeftOvers(const std::string& path) {
    const std::string folder = FolderOf(path), name = NameOf(path);
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path + ".*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        unsigned long process = 0;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsTemporaryNameOf(found.cFileName, name, process))
            continue;
        if (!ProcessRuns(process)) DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string TemporaryPath(const std::string& path) {
    static unsigned counter = 0;
    for (;;) {
        std::string candidate =
            path + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++counter) + ".tmp";
        if (GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) return candidate;
    }
}

// A file that another process holds open cannot be replaced; such a hold (a
// reader, a virus scanner) is mostly brief, so the move is tried a few times
// within a tenth of a second before the old file is kept.
bool MoveOver(const std::string& temporary, const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (attempt == 4 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) return false;
        Sleep(25);
    }
}

}  // namespace

bool IsTemporaryNameOf(const std::string& entry, const std::string& name, unsigned long& process) {
    const std::string_view suffix = ".tmp";
    if (entry.size() <= name.size() + 1 + suffix.size() ||
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry.data(), static_cast<int>(name.size()), name.data(),
                       static_cast<int>(name.size())) != CSTR_EQUAL ||
        entry[name.size()] != '.' || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string_view middle(entry.data() + name.size() + 1, entry.size() - name.size() - 1 - suffix.size());
    const std::size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == middle.size() || dot > 10) return false;
    unsigned long long number = 0;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        if (i == dot) continue;
        if (!std::isdigit(static_cast<unsigned char>(middle[i]))) return false;
        if (i < dot) number = number * 10 + static_cast<unsigned>(middle[i] - '0');
    }
    if (number > 0xFFFFFFFFull) return false;
    process = static_cast<unsigned long>(number);
    return true;
}

bool ReplaceFileThrough(const std::string& path, const std::function<bool(const std::string& temporary)>& write) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    RemoveLeftOvers(path);
    const std::string temporary = TemporaryPath(path);
    if (write(temporary) && MoveOver(temporary, path)) return true;
    const DWORD error = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(error);
    return false;
}

}  // namespace vardel::platform::windows_layer
