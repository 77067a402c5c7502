// The Linux layer's profile (INI) files: the rules of the Windows private-profile
// functions (ini_file.h), on files that are read whole for every call and
// replaced atomically on every change that alters them.
//
// Section and key names match with ASCII case folding; the Windows functions
// fold the letters of the system's code page as well, which no name of the
// plug-in needs.
#include <string>

#include "platform/linux/atomic_file.h"
#include "platform/linux/ini_file.h"
#include "platform/linux/linux_layer.h"

namespace vardel::platform::linux_layer {
namespace {

class IniFileStore final : public ProfileStore {
public:
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue,
                           std::size_t bufferSize, std::string_view file) override {
        std::string text;
        ReadWholeFile(NativePath(file), text);  // a file that cannot be read reads as empty
        return ini::ReadString(text, section, key, defaultValue, bufferSize);
    }

    std::vector<std::string> ReadSection(std::string_view section, std::string_view file) override {
        std::string text;
        ReadWholeFile(NativePath(file), text);
        return ini::ReadSection(text, section);
    }

    bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
        return Edit(file, [&](std::string& text) { return ini::WriteString(text, section, key, value); });
    }

    bool WriteSection(std::string_view section, const std::vector<std::string>& lines,
                      std::string_view file) override {
        return Edit(file, [&](std::string& text) { return ini::WriteSection(text, section, lines); });
    }

private:
    // Applies change to the file's text and stores the result. A file that exists
    // but cannot be read is never overwritten; an unchanged text is not written.
    template <typename Change>
    static bool Edit(std::string_view file, Change change) {
        const std::string path = NativePath(file);
        std::string text;
        const ReadOutcome outcome = ReadWholeFile(path, text);
        if (outcome == ReadOutcome::Failed) return false;
        const std::string before = text;
        if (!change(text)) return false;
        if (outcome == ReadOutcome::Read && text == before) return true;
        if (outcome == ReadOutcome::Missing && text.empty()) return true;
        return ReplaceFileContent(path, text);
    }
};

}  // namespace

ProfileStore& IniProfileStore() {
    static IniFileStore store;
    return store;
}

}  // namespace vardel::platform::linux_layer
