// How newsmeter shows a meter's text.
#pragma once

#include <string>
#include <string_view>

namespace newsmeter {

struct DisplayOptions {
    bool raw = false;               // the plug-in's bytes as they are
    std::string lineBreak = "\n";   // shown for the host code "%b"
    std::string separator = " \xE2\x80\x94 ";  // shown for "%l": " — "
};

// The plug-in's text (Windows-1252, host codes "%b" and "%l" in it) for a UTF-8
// terminal or status bar; unchanged when raw.
std::string ForDisplay(std::string_view text, const DisplayOptions& options);

}  // namespace newsmeter
