#include "text/cp1252.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace vardel::text {
namespace {

constexpr char kDefaultChar = '?';
constexpr char32_t kReplacement = 0xFFFD;

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

// Length of the leading run of 7-bit bytes, eight bytes at a time.
std::size_t AsciiPrefix(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The next code point of UTF-8 text at i, advancing i. An ill-formed sequence
// gives U+FFFD once per maximal subpart (the longest start of a well-formed
// sequence), so surrogates, overlong forms and values above U+10FFFF never
// come out.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    int trail = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the next byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;  // no overlong forms
        if (lead == 0xED) hi = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;  // no overlong forms
        if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return kReplacement;
    }
    for (; trail > 0; --trail) {
        if (i >= s.size()) return kReplacement;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < lo || b > hi) return kReplacement;  // b starts the next sequence
        cp = (cp << 6) | (b & 0x3F);
        lo = 0x80;
        hi = 0xBF;
        ++i;
    }
    return cp;
}

// The next code point of UTF-16 text at i, advancing i; an unpaired surrogate
// gives U+FFFD.
char32_t NextUtf16(std::u16string_view s, std::size_t& i) {
    const char32_t u = s[i++];
    if (IsHighSurrogate(u)) {
        if (i < s.size() && IsLowSurrogate(s[i])) {
            const char32_t low = s[i++];
            return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacement;
    }
    if (IsLowSurrogate(u)) return kReplacement;
    return u;
}

// Writers into buffers sized beforehand for the longest possible result, which
// are cut to the length written at the end: no reallocation, no per-character
// capacity checks.
char* PutUtf8(char* o, char32_t cp) {
    if (cp < 0x80) {
        *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *o++ = static_cast<char>(0xC0 | (cp >> 6));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (cp >> 12));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (cp >> 18));
        *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return o;
}

char16_t* PutUtf16(char16_t* o, char32_t cp) {
    if (cp < 0x10000) {
        *o++ = static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
    return o;
}

template <typename String, typename Char>
void CutTo(String& out, const Char* end) {
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace

std::string Utf16ToAnsi(std::u16string_view s) {
    // Unit by unit, as Windows converts: the two halves of a pair become "??".
    std::string out(s.size(), '\0');
    char* o = out.data();
    for (const char16_t u : s) *o++ = ByteOf(u);
    return out;
}

std::u16string AnsiToUtf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');
    char16_t* o = out.data();
    for (const char b : s) *o++ = UnitOf(b);
    return out;
}

std::string Utf8ToAnsi(std::string_view s) {
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
    CutTo(out, o);
    return out;
}

std::string AnsiToUtf8(std::string_view s) {
    std::size_t i = AsciiPrefix(s);
    if (i == s.size()) return std::string(s);
    std::string out(i + (s.size() - i) * 3, '\0');
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    for (; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) < 0x80) *o++ = s[i];
        else o = PutUtf8(o, UnitOf(s[i]));
    }
    CutTo(out, o);
    return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');  // never more units than bytes
    char16_t* o = out.data();
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = b;
            ++i;
        } else {
            o = PutUtf16(o, NextUtf8(s, i));
        }
    }
    CutTo(out, o);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out(s.size() * 3, '\0');  // a pair of units gives 4 bytes, any other unit at most 3
    char* o = out.data();
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] < 0x80) *o++ = static_cast<char>(s[i++]);
        else o = PutUtf8(o, NextUtf16(s, i));
    }
    CutTo(out, o);
    return out;
}

}  // namespace vardel::text
