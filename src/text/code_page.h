// The code page of the plug-in's texts, and the rules that depend on it.
//
// Every text inside the plug-in and at the host boundary is in one code page, as
// Windows keeps its texts in the system's ANSI code page. Which one is the
// platform layer's choice (platform::HostAnsiCodePage): the Linux layer takes the
// code set of the host's LC_CTYPE locale (UTF-8, or a single-byte code set such
// as KOI8-R or ISO-8859-7), and Windows-1252 where the locale names none (the C
// and POSIX locales); the Windows layer keeps Windows-1252's rules here and
// converts with the system's own functions. The plug-in fixes its code page at its
// first dllstartup and keeps it until it is unloaded.
//
// What depends on the code page:
// - conversions to and from Unicode at the component boundary: characters a
//   single-byte code page lacks become "?", its default character (one per UTF-16
//   unit, so "??" for a character outside the Basic Multilingual Plane); UTF-8 is
//   lossless, with ill-formed parts as U+FFFD;
// - "character n" of the text filters, the character U+00nn: in UTF-8 its two-byte
//   form for n above 127, in a single-byte code set its byte there or "?", and in
//   Windows-1252 the byte n itself (as the Windows build has it);
// - every cut of a text to a capacity in bytes, which never splits a character.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vardel::text {

class CodePage {
public:
    enum class Kind { Windows1252, Utf8, SingleByte };

    // A byte that a single-byte code set leaves undefined.
    static constexpr char32_t kUndefined = 0xFFFFFFFF;

    static CodePage Windows1252();
    static CodePage Utf8();
    // A single-byte code set: the code point of each byte (kUndefined for none).
    // The bytes 00 to 7F must be ASCII; otherwise, or for an empty name, the
    // result is Windows-1252.
    static CodePage SingleByte(std::string name, const std::array<char32_t, 256>& characters);

    Kind GetKind() const { return kind_; }
    bool IsUtf8() const { return kind_ == Kind::Utf8; }
    // "WINDOWS-1252", "UTF-8", or the single-byte code set's name as given.
    const std::string& Name() const;

    // Unicode into the code page.
    std::string FromUtf8(std::string_view utf8) const;
    std::string FromUtf16(std::u16string_view utf16) const;
    // The code page's text in UTF-8; bytes a single-byte code set leaves undefined
    // become U+FFFD (Windows-1252 keeps its C1 controls, see cp1252.h).
    std::string ToUtf8(std::string_view text) const;

    // The text of character n (U+00nn), as the text filters insert it.
    std::string_view Character(unsigned char n) const;

    // The length of the longest start of text of at most maxBytes bytes that does
    // not end inside a character.
    std::size_t FitLength(std::string_view text, std::size_t maxBytes) const;
    std::string_view Cut(std::string_view text, std::size_t maxBytes) const {
        return text.substr(0, FitLength(text, maxBytes));
    }

    // The name a file system path gets: a locale's own code set is what its file
    // names are written in, so the text stays as it is; Windows-1252, the code page
    // of a locale without one, names files in UTF-8.
    std::string FileName(std::string_view text) const;

    struct Tables;

private:
    CodePage(Kind kind, std::shared_ptr<const Tables> tables) : kind_(kind), tables_(std::move(tables)) {}

    Kind kind_;
    std::shared_ptr<const Tables> tables_;
};

// The code page in force: Windows-1252 until UseAnsiCodePage sets another.
const CodePage& AnsiCodePage();
void UseAnsiCodePage(const CodePage& page);

// Shorthands of the code page in force, for cuts to a capacity.
inline std::size_t FitLength(std::string_view text, std::size_t maxBytes) {
    return AnsiCodePage().FitLength(text, maxBytes);
}
inline std::string_view CutToFit(std::string_view text, std::size_t maxBytes) {
    return AnsiCodePage().Cut(text, maxBytes);
}

// Puts a code page in force for the lifetime of the object (tests).
class ScopedAnsiCodePage {
public:
    explicit ScopedAnsiCodePage(const CodePage& page) : previous_(AnsiCodePage()) { UseAnsiCodePage(page); }
    ~ScopedAnsiCodePage() { UseAnsiCodePage(previous_); }
    ScopedAnsiCodePage(const ScopedAnsiCodePage&) = delete;
    ScopedAnsiCodePage& operator=(const ScopedAnsiCodePage&) = delete;

private:
    CodePage previous_;
};

}  // namespace vardel::text
