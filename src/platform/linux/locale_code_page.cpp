#include "platform/linux/locale_code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <array>
#include <cerrno>

#include "platform/services.h"

namespace vardel::platform::linux_layer {
namespace {

// A code set name in the form that spellings of one name share: letters in
// capitals, without "-" and "_" ("utf8" and "UTF-8" both give "UTF8").
std::string Folded(std::string_view name) {
    std::string folded;
    for (char c : name) {
        if (c == '-' || c == '_') continue;
        folded += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return folded;
}

enum class Decoded { Character, Undefined, Incomplete };

// One byte of the code set through iconv, from the initial state.
Decoded DecodeByte(iconv_t cd, unsigned char byte, char32_t& cp) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[8] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return errno == EILSEQ ? Decoded::Undefined : Decoded::Incomplete;
    // A byte that gives no character (a shift) or more than one is no single-byte
    // code set's.
    if (sizeof out - outLeft != 4) return Decoded::Incomplete;
    cp = static_cast<char32_t>(out[0]) | static_cast<char32_t>(out[1]) << 8 | static_cast<char32_t>(out[2]) << 16 |
         static_cast<char32_t>(out[3]) << 24;
    return Decoded::Character;
}

enum class Shape { Unknown, SingleByte, MultiByte };

// What iconv makes of the code set; for a single-byte one the code point of each
// byte in table.
Shape ByteTable(const std::string& codeSet, std::array<char32_t, 256>& table) {
    const iconv_t cd = iconv_open("UTF-32LE", codeSet.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return Shape::Unknown;
    Shape shape = Shape::SingleByte;
    for (int b = 0; b < 256 && shape == Shape::SingleByte; ++b) {
        char32_t cp = 0;
        switch (DecodeByte(cd, static_cast<unsigned char>(b), cp)) {
            case Decoded::Character: table[b] = cp; break;
            case Decoded::Undefined: table[b] = text::CodePage::kUndefined; break;
            case Decoded::Incomplete: shape = Shape::MultiByte; break;
        }
    }
    iconv_close(cd);
    return shape;
}

}  // namespace

std::string LocaleCodeSet() {
    const char* codeSet = nl_langinfo(CODESET);
    return codeSet ? codeSet : "";
}

bool IsAsciiCodeSet(std::string_view codeSet) {
    const std::string name = Folded(codeSet);
    return name.empty() || name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII" || name == "646";
}

bool IsUtf8CodeSet(std::string_view codeSet) { return Folded(codeSet) == "UTF8"; }

bool SameCodeSet(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

text::CodePage CodePageOfCodeSet(std::string_view codeSet) {
    if (IsUtf8CodeSet(codeSet)) return text::CodePage::Utf8();
    if (IsAsciiCodeSet(codeSet)) return text::CodePage::Windows1252();
    std::array<char32_t, 256> table{};
    switch (ByteTable(std::string(codeSet), table)) {
        case Shape::SingleByte: return text::CodePage::SingleByte(std::string(codeSet), table);
        case Shape::MultiByte: return text::CodePage::Utf8();
        case Shape::Unknown: break;
    }
    return text::CodePage::Windows1252();
}

}  // namespace vardel::platform::linux_layer

namespace vardel::platform {

text::CodePage HostAnsiCodePage() { return linux_layer::CodePageOfCodeSet(linux_layer::LocaleCodeSet()); }

}  // namespace vardel::platform
