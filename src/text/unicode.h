// UTF-8 and UTF-16: the steps every code page conversion is built on, the
// conversions between the two, and the cut of a UTF-8 text that never splits a
// character.
//
// Ill-formed UTF-8 reads as U+FFFD once per maximal subpart (the longest start of
// a well-formed sequence), so surrogates, overlong forms and values above U+10FFFF
// never come out; an unpaired UTF-16 surrogate reads as U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vardel::text {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Length of the leading run of 7-bit bytes, eight bytes at a time.
inline std::size_t AsciiPrefix(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// The next code point of UTF-8 text at i (i < s.size()), advancing i.
inline char32_t NextUtf8(std::string_view s, std::size_t& i) {
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
        return kReplacementCharacter;
    }
    for (; trail > 0; --trail) {
        if (i >= s.size()) return kReplacementCharacter;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < lo || b > hi) return kReplacementCharacter;  // b starts the next sequence
        cp = (cp << 6) | (b & 0x3F);
        lo = 0x80;
        hi = 0xBF;
        ++i;
    }
    return cp;
}

// Writes the UTF-8 form of a code point (at most 4 bytes) at o; returns the end.
inline char* PutUtf8(char* o, char32_t cp) {
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

inline bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The next code point of UTF-16 text at i (i < s.size()), advancing i.
inline char32_t NextUtf16(std::u16string_view s, std::size_t& i) {
    const char32_t u = s[i++];
    if (IsHighSurrogate(u)) {
        if (i < s.size() && IsLowSurrogate(s[i])) {
            const char32_t low = s[i++];
            return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacementCharacter;
    }
    if (IsLowSurrogate(u)) return kReplacementCharacter;
    return u;
}

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// The text with every ill-formed part replaced by U+FFFD; well-formed text comes
// back as it is.
std::string WellFormedUtf8(std::string_view s);

// The length of the longest start of s of at most maxBytes bytes that does not end
// inside a character: a cut backs off to the start of a sequence it would split.
// Depends on the bytes before the cut only.
std::size_t Utf8FitLength(std::string_view s, std::size_t maxBytes);

}  // namespace vardel::text
