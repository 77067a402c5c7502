#include "text/code_page.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "text/cp1252.h"
#include "text/unicode.h"

namespace vardel::text {

struct CodePage::Tables {
    struct Encoded {
        char bytes[2];
        unsigned char length;
    };

    std::string name;
    std::array<Encoded, 256> latin1{};  // the text of each character U+00nn
    // Single-byte code sets only: each byte's code point, and the byte of each
    // code point of the Basic Multilingual Plane in blocks of 256 code points
    // (a code set's characters lie in a few of them); "?" where there is none.
    std::array<char32_t, 256> toUnicode{};
    std::array<std::uint8_t, 256> blockOf{};  // 1 + index into blocks; 0: no block
    std::vector<std::array<char, 256>> blocks;

    // The byte of a code point, or "?" when the code set has none.
    char ByteOf(char32_t cp) const {
        if (cp < 0x80) return static_cast<char>(cp);
        if (cp >= 0x10000) return kDefaultChar;
        const std::uint8_t block = blockOf[cp >> 8];
        return block ? blocks[block - 1][cp & 0xFF] : kDefaultChar;
    }

    void AddByte(char32_t cp, char byte) {
        std::uint8_t& block = blockOf[cp >> 8];
        if (!block) {
            blocks.emplace_back();
            blocks.back().fill(kDefaultChar);
            block = static_cast<std::uint8_t>(blocks.size());
        }
        char& slot = blocks[block - 1][cp & 0xFF];
        if (slot == kDefaultChar) slot = byte;  // of two bytes for one code point, the lower
    }

    static constexpr char kDefaultChar = '?';
};

namespace {

using Tables = CodePage::Tables;

// Built once and never destroyed: the library's unload, which runs as the process
// ends, still puts Windows-1252 back in force.
const std::shared_ptr<const Tables>& Windows1252Tables() {
    static const auto& tables = *new std::shared_ptr<const Tables>([] {
        auto t = std::make_shared<Tables>();
        t->name = "WINDOWS-1252";
        for (int n = 0; n < 256; ++n) t->latin1[n] = {{static_cast<char>(n), 0}, 1};
        return t;
    }());
    return tables;
}

const std::shared_ptr<const Tables>& Utf8Tables() {
    static const auto& tables = *new std::shared_ptr<const Tables>([] {
        auto t = std::make_shared<Tables>();
        t->name = "UTF-8";
        for (int n = 0; n < 256; ++n) {
            Tables::Encoded& e = t->latin1[n];
            e.length = static_cast<unsigned char>(PutUtf8(e.bytes, static_cast<char32_t>(n)) - e.bytes);
        }
        return t;
    }());
    return tables;
}

std::string SingleByteFromUtf8(const Tables& t, std::string_view s) {
    std::size_t i = AsciiPrefix(s);
    if (i == s.size()) return std::string(s);
    std::string out(s.size(), '\0');  // every sequence yields at most as many bytes as it has
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    while (i < s.size()) {
        const char32_t cp = NextUtf8(s, i);
        if (cp >= 0x10000) {  // a surrogate pair in UTF-16: one "?" per unit
            *o++ = Tables::kDefaultChar;
            *o++ = Tables::kDefaultChar;
        } else {
            *o++ = t.ByteOf(cp);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string SingleByteFromUtf16(const Tables& t, std::u16string_view s) {
    std::string out(s.size(), '\0');
    char* o = out.data();
    for (const char16_t u : s) *o++ = IsHighSurrogate(u) || IsLowSurrogate(u) ? Tables::kDefaultChar : t.ByteOf(u);
    return out;
}

std::string SingleByteToUtf8(const Tables& t, std::string_view s) {
    std::size_t i = AsciiPrefix(s);
    if (i == s.size()) return std::string(s);
    std::string out(i + (s.size() - i) * 3, '\0');
    std::memcpy(out.data(), s.data(), i);
    char* o = out.data() + i;
    for (; i < s.size(); ++i) {
        const char32_t cp = t.toUnicode[static_cast<unsigned char>(s[i])];
        o = PutUtf8(o, cp == CodePage::kUndefined ? kReplacementCharacter : cp);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

}  // namespace

CodePage CodePage::Windows1252() { return CodePage(Kind::Windows1252, Windows1252Tables()); }

CodePage CodePage::Utf8() { return CodePage(Kind::Utf8, Utf8Tables()); }

CodePage CodePage::SingleByte(std::string name, const std::array<char32_t, 256>& characters) {
    if (name.empty()) return Windows1252();
    for (char32_t b = 0; b < 0x80; ++b)
        if (characters[b] != b) return Windows1252();
    auto t = std::make_shared<Tables>();
    t->name = std::move(name);
    t->toUnicode = characters;
    for (int b = 0x80; b < 0x100; ++b) {
        const char32_t cp = characters[b];
        // A code point past the Basic Multilingual Plane could never be met unit
        // by unit, and none below 80 belongs to a byte above.
        if (cp != kUndefined && cp >= 0x80 && cp < 0x10000) t->AddByte(cp, static_cast<char>(b));
    }
    for (int n = 0; n < 256; ++n) t->latin1[n] = {{t->ByteOf(static_cast<char32_t>(n)), 0}, 1};
    return CodePage(Kind::SingleByte, std::move(t));
}

const std::string& CodePage::Name() const { return tables_->name; }

std::string CodePage::FromUtf8(std::string_view utf8) const {
    switch (kind_) {
        case Kind::Windows1252: return Utf8ToCp1252(utf8);
        case Kind::Utf8: return WellFormedUtf8(utf8);
        case Kind::SingleByte: return SingleByteFromUtf8(*tables_, utf8);
    }
    return {};
}

std::string CodePage::FromUtf16(std::u16string_view utf16) const {
    switch (kind_) {
        case Kind::Windows1252: return Utf16ToCp1252(utf16);
        case Kind::Utf8: return Utf16ToUtf8(utf16);
        case Kind::SingleByte: return SingleByteFromUtf16(*tables_, utf16);
    }
    return {};
}

std::string CodePage::ToUtf8(std::string_view text) const {
    switch (kind_) {
        case Kind::Windows1252: return Cp1252ToUtf8(text);
        case Kind::Utf8: return WellFormedUtf8(text);
        case Kind::SingleByte: return SingleByteToUtf8(*tables_, text);
    }
    return {};
}

std::string_view CodePage::Character(unsigned char n) const {
    const Tables::Encoded& e = tables_->latin1[n];
    return {e.bytes, e.length};
}

std::size_t CodePage::FitLength(std::string_view text, std::size_t maxBytes) const {
    if (kind_ == Kind::Utf8) return Utf8FitLength(text, maxBytes);
    return text.size() < maxBytes ? text.size() : maxBytes;
}

std::string CodePage::FileName(std::string_view text) const {
    if (kind_ == Kind::Windows1252) return Cp1252ToUtf8(text);
    return std::string(text);
}

namespace {

CodePage& InForce() {
    static CodePage& page = *new CodePage(CodePage::Windows1252());
    return page;
}

}  // namespace

const CodePage& AnsiCodePage() { return InForce(); }

void UseAnsiCodePage(const CodePage& page) { InForce() = page; }

}  // namespace vardel::text
