#include "linux/locale_support.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/services.h"

namespace vardel::testing {
namespace {

namespace fs = std::filesystem;

// The generated locales live in the build tree, so that every test program of a
// run (ctest starts one per test) generates each locale once: into a folder of
// its own first, which it then renames into place.
class GeneratedLocales {
public:
    const std::string& Folder() {
        if (folder_.empty()) {
            std::error_code ec;
            const fs::path p = fs::path(VARDEL_TEST_BUILD_DIR) / "locales";
            fs::create_directories(p, ec);
            if (!ec) folder_ = p.string();
        }
        return folder_;
    }

    std::string Generate(const std::string& language, const std::string& codeSet) {
        const std::string name = language + "." + codeSet;
        if (auto it = made_.find(name); it != made_.end()) return it->second ? name : std::string();
        const bool made = Exists(name) || Make(language, codeSet, name);
        made_[name] = made;
        return made ? name : std::string();
    }

private:
    bool Exists(const std::string& name) {
        std::error_code ec;
        return !Folder().empty() && fs::is_regular_file(fs::path(Folder()) / name / "LC_CTYPE", ec);
    }

    bool Make(const std::string& language, const std::string& codeSet, const std::string& name) {
        if (Folder().empty()) return false;
        const fs::path mine = fs::path(Folder()) / (name + ".new." + std::to_string(getpid()));
        const std::string command = "localedef -c -i '" + language + "' -f '" + codeSet + "' '" + mine.string() +
                                    "' >/dev/null 2>&1";
        std::error_code ec;
        if (std::system(command.c_str()) == -1 || !fs::is_regular_file(mine / "LC_CTYPE", ec)) {
            fs::remove_all(mine, ec);
            return false;
        }
        fs::rename(mine, fs::path(Folder()) / name, ec);
        if (ec) fs::remove_all(mine, ec);  // another program was first
        return Exists(name);
    }

    std::string folder_;
    std::map<std::string, bool> made_;
};

GeneratedLocales& Generated() {
    static GeneratedLocales generated;
    return generated;
}

// setlocale, finding the generated locales too: LOCPATH names their folder before
// the system's only for this call, since the data is read here.
bool SetLocale(const std::string& name) {
    const char* previousPath = std::getenv("LOCPATH");
    const std::optional<std::string> saved = previousPath ? std::optional<std::string>(previousPath) : std::nullopt;
    const std::string& folder = Generated().Folder();
    if (!folder.empty()) setenv("LOCPATH", (folder + ":/usr/lib/locale").c_str(), 1);
    const bool set = std::setlocale(LC_ALL, name.c_str()) != nullptr;
    if (saved) setenv("LOCPATH", saved->c_str(), 1);
    else unsetenv("LOCPATH");
    return set;
}

}  // namespace

ScopedLocale::ScopedLocale(const std::string& name) : previousPage_(text::AnsiCodePage()) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current ? current : "C";
    if (name.empty() || !SetLocale(name)) return;
    active_ = true;
    text::UseAnsiCodePage(platform::HostAnsiCodePage());
}

ScopedLocale::~ScopedLocale() {
    if (!active_) return;
    std::setlocale(LC_ALL, previous_.c_str());
    text::UseAnsiCodePage(previousPage_);
}

std::string GeneratedLocale(const std::string& language, const std::string& codeSet) {
    return Generated().Generate(language, codeSet);
}

}  // namespace vardel::testing
