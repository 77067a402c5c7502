// Locales for the code-page tests: a scope in which a locale is the process's
// (and its code page the plug-in's), and single-byte locales generated for the
// tests where the system has none.
#pragma once

#include <string>

#include "text/code_page.h"

namespace vardel::testing {

// Sets LC_ALL to the locale and puts its code page in force, as a first
// dllstartup would; the destructor restores both. The plug-in's own first
// dllstartup in the scope takes the same code page.
class ScopedLocale {
public:
    explicit ScopedLocale(const std::string& name);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    // False when the system does not know the locale: nothing changed.
    bool Active() const { return active_; }

private:
    bool active_ = false;
    std::string previous_;
    text::CodePage previousPage_;
};

// The name of a locale of that language and code set ("ru_RU", "KOI8-R" gives
// "ru_RU.KOI8-R"), generated with localedef into the build tree on first use;
// empty when it cannot be generated. ScopedLocale finds it.
std::string GeneratedLocale(const std::string& language, const std::string& codeSet);

}  // namespace vardel::testing

// Skips the test when the locale is not there.
#define VARDEL_REQUIRE_LOCALE(scope, name)                                   \
    do {                                                                     \
        if (!(scope).Active()) GTEST_SKIP() << "locale " << (name) << " is not available"; \
    } while (false)
