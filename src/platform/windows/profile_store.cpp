// The Windows layer's profile (INI) files: the system's private-profile functions.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "platform/windows/file_replacement.h"
#include "platform/windows/windows_layer.h"

namespace vardel::platform::windows_layer {
namespace {

// A mutex named after the file (its full path, without regard to case), held
// for one change of the file. A holder that was killed leaves it abandoned,
// which the next waiter simply takes; one that takes longer than five seconds
// is not waited for.
class NamedLock {
public:
    explicit NamedLock(const std::string& file) {
        char full[MAX_PATH];
        const DWORD n = GetFullPathNameA(file.c_str(), MAX_PATH, full, nullptr);
        const std::string path = n > 0 && n < MAX_PATH ? std::string(full, n) : file;
        std::uint32_t hash = 2166136261u;  // FNV-1a of the upper-case path
        for (unsigned char c : path) {
            if (c == '/') c = '\\';
            hash = (hash ^ static_cast<unsigned char>(std::toupper(c))) * 16777619u;
        }
        const std::wstring name = L"Local\\Vardel2-profile-" + std::to_wstring(hash);
        mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex_ && WaitForSingleObject(mutex_, 5000) == WAIT_TIMEOUT) {
            CloseHandle(mutex_);
            mutex_ = nullptr;
        }
    }
    ~NamedLock() {
        if (!mutex_) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

private:
    HANDLE mutex_ = nullptr;
};

class PrivateProfileFiles final : public ProfileStore {
public:
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue,
                           std::size_t bufferSize, std::string_view file) override {
        if (bufferSize == 0) return {};
        const DWORD size = bufferSize > kMaxRead ? kMaxRead : static_cast<DWORD>(bufferSize);
        std::string buffer(size, '\0');
        const std::string s(section), k(key), d(defaultValue), f(file);
        const DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer.data(), size, f.c_str());
        buffer.resize(n < size ? n : size - 1);
        return buffer;
    }

    std::vector<std::string> ReadSection(std::string_view section, std::string_view file) override {
        const std::string s(section), f(file);
        // The call returns size - 2 when the section does not fit: grow until it does.
        std::string buffer(32768, '\0');
        DWORD n = 0;
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            n = GetPrivateProfileSectionA(s.c_str(), buffer.data(), size, f.c_str());
            if (n + 2 < size || size >= kMaxRead / 2) break;
            buffer.assign(static_cast<std::size_t>(size) * 2, '\0');
        }
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < n) {
            std::size_t end = start;
            while (end < n && buffer[end] != '\0') ++end;
            lines.emplace_back(buffer, start, end - start);
            start = end + 1;
        }
        return lines;
    }

    bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
        const std::string s(section), k(key), v(value), f(file);
        return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
    }

    // The change is made to a copy of the file, moved over it when done; a lock
    // of the file's name keeps the change of another process from being lost
    // between its copy and its move.
    bool WriteStringReplacingFile(std::string_view section, std::string_view key, std::string_view value,
                                  std::string_view file) override {
        const std::string s(section), k(key), v(value), f(file);
        const NamedLock lock(f);
        return ReplaceFileThrough(f, [&](const std::string& temporary) {
            if (GetFileAttributesA(f.c_str()) != INVALID_FILE_ATTRIBUTES &&
                !CopyFileA(f.c_str(), temporary.c_str(), TRUE))
                return false;
            return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), temporary.c_str()) != FALSE;
        });
    }

    bool WriteSection(std::string_view section, const std::vector<std::string>& lines,
                      std::string_view file) override {
        const std::string s(section), f(file);
        // "key=value" lines, each ended by a NUL, and one more NUL after the last
        // (two for an empty list).
        std::string list;
        for (const std::string& line : lines) {
            list.append(line.c_str());
            list += '\0';
        }
        if (list.empty()) list += '\0';
        list += '\0';
        return WritePrivateProfileSectionA(s.c_str(), list.data(), f.c_str()) != FALSE;
    }

private:
    // Beyond this a section is not grown further (the calls count in 32-bit DWORDs).
    static constexpr DWORD kMaxRead = 0x40000000;
};

}  // namespace

ProfileStore& PrivateProfileStore() {
    static PrivateProfileFiles store;
    return store;
}

}  // namespace vardel::platform::windows_layer
