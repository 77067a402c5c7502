#include "text/text.h"

#include "text/code_page.h"

namespace vardel::text {

std::string_view TrimBlanks(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return s.substr(s.size());
    const std::size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

unsigned char UpperCaseByte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - ('a' - 'A'));
    switch (c) {
        case 0x84: return 0x8E;
        case 0x94: return 0x99;
        case 0x81: return 0x9A;
        case 0x82: return 0x90;
        case 0xA4: return 0xA5;
        case 0x86: return 0x8F;
        case 0x87: return 0x80;
        default: return c;
    }
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    // In UTF-8 every byte from 80 on is part of a character: changing one would
    // turn that character into another ("\xD0\x94" into "\xD0\x99"), so only the
    // ASCII letters change.
    if (AnsiCodePage().IsUtf8()) {
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
        return out;
    }
    for (char& c : out) c = static_cast<char>(UpperCaseByte(static_cast<unsigned char>(c)));
    return out;
}

int CompareBytes(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement) {
    if (search.empty()) return std::string(text);
    std::string out;
    std::size_t from = 0;
    std::size_t hit = text.find(search);
    if (hit == std::string_view::npos) return std::string(text);
    out.reserve(text.size());  // grows geometrically beyond that: still one linear pass
    while (hit != std::string_view::npos) {
        out.append(text, from, hit - from);
        out.append(replacement);
        from = hit + search.size();
        hit = text.find(search, from);
    }
    out.append(text, from);
    return out;
}

}  // namespace vardel::text
