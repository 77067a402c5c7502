// How newsmeter shows a meter's text.
//
// The plug-in's texts are in the code page it takes from the locale newsmeter
// sets (UTF-8 in a UTF-8 locale, the locale's code set in a single-byte one, and
// Windows-1252 in the C and POSIX locales, which name no code set of their own).
// newsmeter prints them in the locale's code set, and in UTF-8 in the C and POSIX
// locales, so the same meters print the same UTF-8 there as in any UTF-8 locale.
#pragma once

#include <string>
#include <string_view>

#include "text/code_page.h"

namespace newsmeter {

// The conversion from the plug-in's texts to newsmeter's output.
class TextCodec {
public:
    // The C locale's: the plug-in's Windows-1252 printed in UTF-8.
    TextCodec();
    // Of the current LC_CTYPE locale (after setlocale); on Windows the default.
    static TextCodec OfLocale();
    // The plug-in's code page and the output's code set as given (tests).
    TextCodec(vardel::text::CodePage plugin, std::string outputCodeSet);

    // A text of the plug-in in the output's code set: as it is when the two are
    // the same; otherwise characters the output lacks are transliterated or "?".
    std::string PluginToOutput(std::string_view text) const;
    // A text of the plug-in in UTF-8, whatever the output's code set (for formats
    // that are UTF-8 by definition, such as JSON).
    std::string PluginToUtf8(std::string_view text) const;
    // A UTF-8 text of newsmeter's own (a default separator, say) in the output's
    // code set.
    std::string Utf8ToOutput(std::string_view utf8) const;

    const vardel::text::CodePage& PluginCodePage() const { return plugin_; }
    // "UTF-8", or the locale's own code set.
    const std::string& OutputCodeSet() const { return output_; }

private:
    bool OutputIsUtf8() const;

    vardel::text::CodePage plugin_;
    std::string output_;
};

struct DisplayOptions {
    bool raw = false;               // the plug-in's bytes as they are
    std::string lineBreak = "\n";   // shown for the host code "%b", in the output's code set
    std::string separator = " \xE2\x80\x94 ";  // shown for "%l": " — ", in the output's code set
    TextCodec codec;
};

// The defaults for the current locale: its codec, and " — " as the separator in
// the output's code set.
DisplayOptions DisplayOptionsForLocale();

// The plug-in's text (host codes "%b" and "%l" in it) for a terminal or status
// bar, in the output's code set; unchanged when raw.
std::string ForDisplay(std::string_view text, const DisplayOptions& options);

}  // namespace newsmeter
