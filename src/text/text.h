// Shared text conventions: blank trimming, the upper-case mapping used for
// name comparisons, byte-wise comparison and case-sensitive replacement.
#pragma once

#include <string>
#include <string_view>

namespace vardel::text {

// Removes leading and trailing blanks (code 32 only; tabs and line breaks stay).
std::string_view TrimBlanks(std::string_view s);

// Upper-case mapping for case-insensitive name comparisons: "a".."z" become
// "A".."Z", and exactly seven further bytes change (84->8E, 94->99, 81->9A,
// 82->90, A4->A5, 86->8F, 87->80). Every other byte stays. UpperCase changes the
// seven bytes only in a single-byte code page: in UTF-8 they are parts of
// characters (text/code_page.h).
unsigned char UpperCaseByte(unsigned char c);
std::string UpperCase(std::string_view s);

// Byte-wise comparison on unsigned bytes; of two texts with equal prefixes the
// shorter is smaller. Returns <0, 0 or >0.
int CompareBytes(std::string_view a, std::string_view b);

// Replaces every occurrence of search, left to right and without overlap,
// case-sensitive. An empty search text leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement);

}  // namespace vardel::text
