#include "text/cp1252.h"

#include <array>
#include <cstring>

#include "text/unicode.h"

namespace vardel::text {
namespace {

constexpr char kDefaultChar = '?';

// Bytes 80..9F; the rest of the code page is Latin-1. The five undefined bytes
// map to the C1 controls of the same value.
constexpr char16_t kHighBytes[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr std::array<char16_t, 256> MakeByteTable() {
    std::array<char16_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = (b >= 0x80 && b < 0xA0) ? kHighBytes[b - 0x80] : static_cast<char16_t>(b);
    return table;
}
constexpr std::array<char16_t, 256> kByteToUnit = MakeByteTable();

char16_t UnitOf(char byte) { return kByteToUnit[static_cast<unsigned char>(byte)]; }

// The byte of each unit below U+0100: itself, except the C1 controls that
// Windows-1252 uses for other characters.
constexpr std::array<char, 256> MakeLowUnitTable() {
    std::array<char, 256> table{};
    for (int u = 0; u < 256; ++u) {
        const bool ownByte = u < 0x80 || u >= 0xA0 || u == 0x81 || u == 0x8D || u == 0x8F ||
                             u == 0x90 || u == 0x9D;
        table[u] = ownByte ? static_cast<char>(u) : kDefaultChar;
    }
    return table;
}
constexpr std::array<char, 256> kLowUnitToByte = MakeLowUnitTable();

// The Windows-1252 byte of a UTF-16 unit or code point, or "?" when the code page
// has none.
char ByteOf(char32_t u) {
    if (u < 0x100) return kLowUnitToByte[u];
    switch (u) {
        case 0x0152: return '\x8C';
        case 0x0153: return '\x9C';
        case 0x0160: return '\x8A';
        case 0x0161: return '\x9A';
        case 0x0178: return '\x9F';
        case 0x017D: return '\x8E';
        case 0x017E: return '\x9E';
        case 0x0192: return '\x83';
        case 0x02C6: return '\x88';
        case 0x02DC: return '\x98';
        case 0x2013: return '\x96';
        case 0x2014: return '\x97';
        case 0x2018: return '\x91';
        case 0x2019: return '\x92';
        case 0x201A: return '\x82';
        case 0x201C: return '\x93';
        case 0x201D: return '\x94';
        case 0x201E: return '\x84';
        case 0x2020: return '\x86';
        case 0x2021: return '\x87';
        case 0x2022: return '\x95';
        case 0x2026: return '\x85';
        case 0x2030: return '\x89';
        case 0x2039: return '\x8B';
        case 0x203A: return '\x9B';
        case 0x20AC: return '\x80';
        case 0x2122: return '\x99';
        default: return kDefaultChar;
    }
}

}  // namespace

std::string Utf16ToCp1252(std::u16string_view s) {
    // Unit by unit, as Windows converts: the two halves of a pair become "??".
    std::string out(s.size(), '\0');
    char* o = out.data();
    for (const char16_t u : s) *o++ = ByteOf(u);
    return out;
}

std::u16string Cp1252ToUtf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');
    char16_t* o = out.data();
    for (const char b : s) *o++ = UnitOf(b);
    return out;
}

std::string Utf8ToCp1252(std::string_view s) {
    std::size_t i = AsciiPrefix(s);
    if (i == s.size()) return std::string(s);
    std::string out(s.size(), '\0');  // every sequence yields at most as many bytes as it has
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            *o++ = s[i++];
            continue;
        }
        const char32_t cp = NextUtf8(s, i);
        if (cp >= 0x10000) {  // a surrogate pair in UTF-16
            *o++ = kDefaultChar;
            *o++ = kDefaultChar;
        } else {
            *o++ = ByteOf(cp);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string Cp1252ToUtf8(std::string_view s) {
    std::size_t i = AsciiPrefix(s);
    if (i == s.size()) return std::string(s);
    std::string out(i + (s.size() - i) * 3, '\0');
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    for (; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) < 0x80) *o++ = s[i];
        else o = PutUtf8(o, UnitOf(s[i]));
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

}  // namespace vardel::text
