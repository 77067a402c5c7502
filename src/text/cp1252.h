// Windows-1252 converted to and from Unicode exactly as Windows does with
// WC_NO_BEST_FIT_CHARS: every UTF-16 unit without a Windows-1252 byte becomes "?"
// (so a character outside the Basic Multilingual Plane becomes "??"). The five
// bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) map to the C1
// controls of the same value.
//
// The plug-in's texts are Windows-1252 where the host's locale names no code set
// of its own (see text/code_page.h).
#pragma once

#include <string>
#include <string_view>

namespace vardel::text {

std::string Utf16ToCp1252(std::u16string_view s);
std::u16string Cp1252ToUtf16(std::string_view s);

// Invalid UTF-8 sequences count as U+FFFD (so they become "?").
std::string Utf8ToCp1252(std::string_view s);
std::string Cp1252ToUtf8(std::string_view s);

}  // namespace vardel::text
