// PLACEHOLDER: replaced by the real implementation.
#include "text/cp1252.h"
namespace vardel::text {
std::string Utf16ToAnsi(std::u16string_view) { return {}; }
std::u16string AnsiToUtf16(std::string_view) { return {}; }
std::string Utf8ToAnsi(std::string_view s) { return std::string(s); }
std::string AnsiToUtf8(std::string_view s) { return std::string(s); }
std::u16string Utf8ToUtf16(std::string_view) { return {}; }
std::string Utf16ToUtf8(std::u16string_view) { return {}; }
}
