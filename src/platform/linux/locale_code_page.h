// The code page of a locale's code set: what the Linux layer makes of the host's
// LC_CTYPE locale, and what newsmeter expects of the plug-in.
#pragma once

#include <string>
#include <string_view>

#include "text/code_page.h"

namespace vardel::platform::linux_layer {

// The code set of the current LC_CTYPE locale (nl_langinfo(CODESET)):
// "ANSI_X3.4-1968" in the C and POSIX locales.
std::string LocaleCodeSet();

// True for the names of ASCII, the code set of the C and POSIX locales.
bool IsAsciiCodeSet(std::string_view codeSet);
// True for the names of UTF-8 ("UTF-8", "utf8").
bool IsUtf8CodeSet(std::string_view codeSet);
// True when two names name one code set as far as spelling goes ("koi8r" and
// "KOI8-R").
bool SameCodeSet(std::string_view a, std::string_view b);

// The plug-in's code page in a locale of that code set:
// - UTF-8 for UTF-8;
// - a single-byte code set that iconv knows (ISO-8859-x, KOI8-R, CP125x...) as
//   iconv maps it;
// - Windows-1252 for ASCII, the code set of a locale without one of its own (so
//   texts are the same bytes as on Windows), and for a name iconv does not know;
// - UTF-8 for the multi-byte code sets other than UTF-8 (EUC-JP, GB18030...): the
//   plug-in's byte-wise rules cannot keep their characters whole, UTF-8 keeps
//   every character and a host converts it losslessly to its own.
text::CodePage CodePageOfCodeSet(std::string_view codeSet);

}  // namespace vardel::platform::linux_layer
