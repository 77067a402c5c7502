#include "text/unicode.h"

namespace vardel::text {
namespace {

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

// Buffers are sized beforehand for the longest possible result and cut to the
// length written at the end: no reallocation, no per-character capacity checks.
template <typename String, typename Char>
void CutTo(String& out, const Char* end) {
    out.resize(static_cast<std::size_t>(end - out.data()));
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of the sequence a lead byte starts; 1 for bytes that start none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

}  // namespace

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

namespace {

// The position of the first ill-formed part at or after i, or s.size().
std::size_t FirstIllFormed(std::string_view s, std::size_t i) {
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        // U+FFFD written in the text is the only well-formed sequence that reads
        // as U+FFFD.
        if (NextUtf8(s, i) == kReplacementCharacter && s.compare(start, i - start, "\xEF\xBF\xBD") != 0)
            return start;
    }
    return s.size();
}

}  // namespace

std::string WellFormedUtf8(std::string_view s) {
    // Texts are well-formed but for rare exceptions: those come back as they are.
    std::size_t i = FirstIllFormed(s, AsciiPrefix(s));
    if (i == s.size()) return std::string(s);
    // Each ill-formed part has at least one byte and becomes three.
    std::string out(s.size() * 3, '\0');
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            *o++ = s[i++];
            continue;
        }
        // A well-formed sequence gives its own bytes back (U+FFFD in the text
        // included), an ill-formed part those of U+FFFD.
        o = PutUtf8(o, NextUtf8(s, i));
    }
    CutTo(out, o);
    return out;
}

std::size_t Utf8FitLength(std::string_view s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return s.size();
    // The sequence that the last kept byte belongs to starts at most three bytes
    // back; it is kept only when it is whole.
    for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
        const auto b = static_cast<unsigned char>(s[maxBytes - back]);
        if (IsContinuation(b)) continue;
        return SequenceLength(b) > back ? maxBytes - back : maxBytes;
    }
    return maxBytes;  // stray continuation bytes: nothing to keep whole
}

}  // namespace vardel::text
