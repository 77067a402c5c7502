// The ANSI code page of the plug-in's texts, Windows-1252, converted to and from
// Unicode exactly as Windows does with WC_NO_BEST_FIT_CHARS: every UTF-16 unit
// without a Windows-1252 byte becomes "?" (so a character outside the Basic
// Multilingual Plane becomes "??"). The five bytes that Windows-1252 leaves
// undefined (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value.
#pragma once

#include <string>
#include <string_view>

namespace vardel::text {

std::string Utf16ToAnsi(std::u16string_view s);
std::u16string AnsiToUtf16(std::string_view s);

// UTF-8 is what libxml2 and terminals speak. Invalid UTF-8 sequences count as
// U+FFFD (so they become "?").
std::string Utf8ToAnsi(std::string_view s);
std::string AnsiToUtf8(std::string_view s);

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

}  // namespace vardel::text
