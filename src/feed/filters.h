// HTML text filters applied to extracted feed text. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace vardel::feed {

// Removes HTML tags: repeatedly takes the first "<" up to the next ">" (or to the
// end) and removes every occurrence of that whole tag text.
std::string StripTags(std::string_view text);

// Removes every line feed (code 10); carriage returns stay.
std::string RemoveLineFeeds(std::string_view text);

// The two decoders insert "character n", U+00nn in the code page in force
// (text/code_page.h): two bytes in UTF-8 for n above 127, the byte n itself in
// Windows-1252.

// Decodes "&#nnn;" references with exactly three digits, in rising passes over
// the codes 9 to 255.
std::string DecodeNumericReferences(std::string_view text);

// Decodes "&quot;", "&amp;", "&nbsp;" and the Latin-1 entity names for the codes
// 162 to 255, in a buffer that keeps at most 1023 bytes (cut where no character
// is split).
std::string DecodeNamedEntities(std::string_view text);

}  // namespace vardel::feed
