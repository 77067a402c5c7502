// PLACEHOLDER: replaced by the real implementation.
#include "text/text.h"
namespace vardel::text {
std::string_view TrimBlanks(std::string_view s) { return s; }
unsigned char UpperCaseByte(unsigned char c) { return c; }
std::string UpperCase(std::string_view s) { return std::string(s); }
int CompareBytes(std::string_view a, std::string_view b) { return a.compare(b); }
std::string ReplaceAll(std::string_view text, std::string_view, std::string_view) { return std::string(text); }
}
