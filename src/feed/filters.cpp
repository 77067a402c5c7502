// HTML text filters.
//
// Each filter gives exactly the result of its plain definition as a series of
// whole-text replacement passes (see filters.h), but skips or merges passes where
// that provably cannot change the result: a pass whose inserted character can never
// form a new reference commutes with the others, and references never overlap.
#include "feed/filters.h"

#include <array>
#include <cstring>

#include "text/code_page.h"

namespace vardel::feed {
namespace {

// Removes every occurrence of tag from text[from:], left to right without overlap.
void RemoveEvery(std::string& text, std::size_t from, std::string_view tag) {
    std::size_t hit = text.find(tag, from);
    if (hit == std::string::npos) return;
    std::size_t out = hit;
    std::size_t in = hit;
    while (hit != std::string::npos) {
        std::memmove(&text[out], &text[in], hit - in);
        out += hit - in;
        in = hit + tag.size();
        hit = text.find(tag, in);
    }
    std::memmove(&text[out], &text[in], text.size() - in);
    out += text.size() - in;
    text.resize(out);
}

}  // namespace

std::string StripTags(std::string_view input) {
    std::string text(input);
    std::size_t from = 0;  // text[0:from] holds no "<", so no tag starts there
    for (;;) {
        const std::size_t open = text.find('<', from);
        if (open == std::string::npos) return text;
        const std::size_t close = text.find('>', open);
        if (close == std::string::npos) {
            // The tag runs to the end; it cannot occur anywhere else.
            text.resize(open);
            return text;
        }
        const std::string tag = text.substr(open, close - open + 1);
        RemoveEvery(text, open, tag);
        from = open;
    }
}

std::string RemoveLineFeeds(std::string_view input) {
    std::string text;
    text.reserve(input.size());
    for (char c : input) {
        if (c != '\n') text += c;
    }
    return text;
}

// ---- numeric references ----------------------------------------------------

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a reference "&#ddd;" (exactly three digits) at position i, or -1.
int ReferenceAt(std::string_view text, std::size_t i) {
    if (i + 6 > text.size() || text[i] != '&' || text[i + 1] != '#' || text[i + 5] != ';') return -1;
    const char a = text[i + 2], b = text[i + 3], c = text[i + 4];
    if (!IsDigit(a) || !IsDigit(b) || !IsDigit(c)) return -1;
    return (a - '0') * 100 + (b - '0') * 10 + (c - '0');
}

constexpr int kFirstDecodedCode = 9;
constexpr int kLastDecodedCode = 255;

// Only these characters occur in "&#ddd;", so only their passes can join the
// decoded character with its neighbours into a new reference.
bool CanFormReference(int code) {
    return code == '&' || code == '#' || code == ';' || (code >= '0' && code <= '9');
}

// The smallest code >= from of a reference in text whose character can form new
// references; past kLastDecodedCode when there is none.
int NextFormingCode(std::string_view text, int from) {
    int best = kLastDecodedCode + 1;
    for (std::size_t i = text.find('&'); i != std::string_view::npos; i = text.find('&', i + 1)) {
        const int code = ReferenceAt(text, i);
        if (code >= from && code < best && CanFormReference(code)) best = code;
    }
    return best;
}

// One left-to-right scan that decodes every reference with a code in [low, high]
// into character n of the code page. Equal to the passes for low..high in turn,
// provided none of them can form a new reference: the references of the text do
// not overlap and each pass then only replaces its own, which were all there
// before the first. (A character above 127 is no ASCII byte in any code page, or
// "?", so it never forms one.)
std::string DecodeCodes(std::string_view text, int low, int high, const text::CodePage& page) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) break;
        out.append(text, i, amp - i);
        const int code = ReferenceAt(text, amp);
        if (code >= low && code <= high) {
            out += page.Character(static_cast<unsigned char>(code));
            i = amp + 6;
        } else {
            out += '&';
            i = amp + 1;
        }
    }
    if (i < text.size()) out.append(text, i);
    return out;
}

}  // namespace

std::string DecodeNumericReferences(std::string_view input) {
    const text::CodePage& page = text::AnsiCodePage();
    std::string text(input);
    int from = kFirstDecodedCode;
    while (from <= kLastDecodedCode && text.find("&#") != std::string::npos) {
        // The passes before the next code that can form references neither form
        // one nor meet one of that kind: they merge into one scan. The passes of
        // forming codes absent from the text change nothing, and since only a
        // forming code's pass can bring a reference in, absence is checked anew
        // after each of them.
        const int forming = NextFormingCode(text, from);
        if (forming > from) text = DecodeCodes(text, from, forming - 1, page);
        if (forming > kLastDecodedCode) break;
        text = DecodeCodes(text, forming, forming, page);
        from = forming + 1;
    }
    return text;
}

// ---- named entities ------------------------------------------------------------

namespace {

// The HTML 4.01 entity names of the Latin-1 characters 162 to 255, in code order;
// entry i stands for the character 162 + i.
constexpr std::string_view kLatin1Entities =
    "&cent;&pound;&curren;&yen;&brvbar;&sect;&uml;&copy;&ordf;&laquo;&not;&shy;&reg;&macr;"
    "&deg;&plusmn;&sup2;&sup3;&acute;&micro;&para;&middot;&cedil;&sup1;&ordm;&raquo;"
    "&frac14;&frac12;&frac34;&iquest;"
    "&Agrave;&Aacute;&Acirc;&Atilde;&Auml;&Aring;&AElig;&Ccedil;&Egrave;&Eacute;&Ecirc;&Euml;"
    "&Igrave;&Iacute;&Icirc;&Iuml;&ETH;&Ntilde;&Ograve;&Oacute;&Ocirc;&Otilde;&Ouml;&times;"
    "&Oslash;&Ugrave;&Uacute;&Ucirc;&Uuml;&Yacute;&THORN;&szlig;"
    "&agrave;&aacute;&acirc;&atilde;&auml;&aring;&aelig;&ccedil;&egrave;&eacute;&ecirc;&euml;"
    "&igrave;&iacute;&icirc;&iuml;&eth;&ntilde;&ograve;&oacute;&ocirc;&otilde;&ouml;&divide;"
    "&oslash;&ugrave;&uacute;&ucirc;&uuml;&yacute;&thorn;&yuml;";
constexpr int kFirstListedCode = 162;
constexpr std::size_t kListedEntities = 94;
constexpr std::size_t kLongestEntity = 8;  // "&frac14;", "&Agrave;", ...
constexpr std::size_t kNamedBufferLength = 1023;

struct Entity {
    std::string_view text;  // "&name;"
    unsigned char code;
};

// "&nbsp;" and the list, each with its character.
const std::array<Entity, kListedEntities + 1>& LatinEntities() {
    static const auto table = [] {
        std::array<Entity, kListedEntities + 1> t{};
        t[0] = {"&nbsp;", 160};
        std::size_t start = 0;
        for (std::size_t i = 0; i < kListedEntities; ++i) {
            const std::size_t end = kLatin1Entities.find(';', start) + 1;
            t[i + 1] = {kLatin1Entities.substr(start, end - start),
                        static_cast<unsigned char>(kFirstListedCode + i)};
            start = end;
        }
        return t;
    }();
    return table;
}

// The entity of the table at position i of text, or nullptr.
const Entity* LatinEntityAt(std::string_view text, std::size_t i) {
    const std::size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos || semicolon - i + 1 > kLongestEntity) return nullptr;
    const std::string_view candidate = text.substr(i, semicolon - i + 1);
    for (const Entity& e : LatinEntities()) {
        if (e.text == candidate) return &e;
    }
    return nullptr;
}

}  // namespace

std::string DecodeNamedEntities(std::string_view input) {
    const text::CodePage& page = text::AnsiCodePage();
    // The buffer keeps 1023 bytes, never a part of a character; every later step
    // only shortens the text (an entity has at least five bytes, its character at
    // most two).
    const std::string_view buffer = page.Cut(input, kNamedBufferLength);

    // "&quot;" and then "&amp;": one scan gives both passes, because the quote
    // forms nothing and a "&" made by the second pass meets only later passes.
    std::string first;
    first.reserve(buffer.size());
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] == '&' && buffer.substr(i, 6) == "&quot;") {
            first += '"';
            i += 5;
        } else if (buffer[i] == '&' && buffer.substr(i, 5) == "&amp;") {
            first += '&';
            i += 4;
        } else {
            first += buffer[i];
        }
    }

    // "&nbsp;" and the 94 list entries: their characters are above 127 (in UTF-8
    // two bytes from 80 on, elsewhere one byte or "?") and cannot form an entity,
    // and entities never overlap, so one scan gives all passes.
    std::string out;
    out.reserve(first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const Entity* e = first[i] == '&' ? LatinEntityAt(first, i) : nullptr;
        if (e) {
            out += page.Character(e->code);
            i += e->text.size() - 1;
        } else {
            out += first[i];
        }
    }
    return out;
}

}  // namespace vardel::feed
