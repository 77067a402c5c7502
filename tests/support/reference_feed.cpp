#include "support/reference_feed.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "feed/extraction.h"
#include "text/code_page.h"
#include "text/number.h"
#include "text/text.h"

namespace vardel::testing::reference {

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement) {
    if (search.empty()) return std::string(text);
    std::string out;
    std::size_t i = 0;
    for (std::size_t hit = text.find(search); hit != std::string_view::npos; hit = text.find(search, i)) {
        out.append(text.substr(i, hit - i));
        out.append(replacement);
        i = hit + search.size();
    }
    out.append(text.substr(i));
    return out;
}

std::string StripTags(std::string_view input) {
    std::string text(input);
    for (;;) {
        const std::size_t a = text.find('<');
        if (a == std::string::npos) return text;
        const std::size_t b = text.find('>', a);
        const std::string tag = b == std::string::npos ? text.substr(a) : text.substr(a, b - a + 1);
        text = ReplaceAll(text, tag, "");
    }
}

std::string RemoveLineFeeds(std::string_view text) { return ReplaceAll(text, "\n", ""); }

std::string DecodeNumericReferences(std::string_view input) {
    std::string text(input);
    for (int n = 9; n <= 255; ++n) {
        char reference[8];
        std::snprintf(reference, sizeof reference, "&#%03d;", n);
        text = ReplaceAll(text, reference, std::string(text::AnsiCodePage().Character(static_cast<unsigned char>(n))));
    }
    return text;
}

const char* const kLatin1EntityNames[94] = {
    "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",   "laquo",
    "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute",
    "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute",
    "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute",
    "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",    "ntilde",
    "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute", "ucirc",
    "uuml",   "yacute", "thorn",  "yuml"};

std::string DecodeNamedEntities(std::string_view input) {
    const text::CodePage& page = text::AnsiCodePage();
    std::string text(page.Cut(input, 1023));
    text = ReplaceAll(text, "&quot;", "\"");
    text = ReplaceAll(text, "&amp;", "&");
    text = ReplaceAll(text, "&nbsp;", std::string(page.Character(160)));
    for (int i = 0; i < 94; ++i) {
        const auto code = static_cast<unsigned char>(162 + i);
        text = ReplaceAll(text, std::string("&") + kLatin1EntityNames[i] + ";", std::string(page.Character(code)));
    }
    return text;
}

namespace {

std::optional<long> RoundedPosition(double k) {
    if (!std::isfinite(k)) return std::nullopt;
    const double r = text::RoundHalfEven(k);
    if (r < 0 || r > 2147483647.0) return std::nullopt;
    return static_cast<long>(r);
}

}  // namespace

std::string ExtractFeedText(const platform::DocumentRef& document, const config::InstanceSettings& settings,
                            std::string_view templateText, std::string_view keyNode) {
    using platform::AttributeOf;
    using platform::ItemOf;
    using platform::LengthOf;
    using platform::NodeRef;
    using platform::TextOf;

    // Step 2, key node.
    const std::size_t semicolon = keyNode.find(';');
    const std::string itemName(keyNode.substr(0, semicolon));
    const std::string attributeList =
        semicolon == std::string_view::npos ? std::string() : std::string(keyNode.substr(semicolon + 1).substr(0, 127));
    const bool isPath = itemName.find('/') != std::string::npos;

    // Item k (from 0), asked of the document anew every time. Paths locate items by
    // the path everywhere; positions below 0 name no item.
    auto itemAt = [&](long k) -> NodeRef {
        if (k < 0 || !document) return nullptr;
        if (!isPath) return ItemOf(document->GetElementsByTagName(itemName), k);
        const NodeRef root = document->DocumentElement();
        return root ? root->SelectSingleNode(itemName + "[" + std::to_string(k) + "]") : nullptr;
    };
    auto itemCount = [&]() -> long {
        if (!document) return 0;
        if (!isPath) return LengthOf(document->GetElementsByTagName(itemName));
        const NodeRef root = document->DocumentElement();
        return root ? LengthOf(root->SelectNodes(itemName)) : 0;
    };

    // Step 3, line range.
    std::int32_t start = 0, end = 0;
    const std::string_view s = text::TrimBlanks(settings.StartZeile.View());
    if (feed::LooksNumeric(s)) {
        const std::int16_t first = text::Int16FromText(settings.StartZeile.View());
        std::int16_t last = text::Int16FromText(settings.EndZeile.View());
        if (last < first) last = first;
        start = first;
        end = last;
        if (!isPath) {
            const long n = itemCount();
            if (start > n) start = static_cast<std::int32_t>(n);
            if (end > n) end = static_cast<std::int32_t>(n);
        }
    } else if (feed::IsAlphanumeric(s)) {
        const std::string wanted = text::UpperCase(text::TrimBlanks(settings.EndZeile.View()));
        const long n = itemCount();
        for (long i = 0; i < n; ++i) {
            const std::string value = text::UpperCase(AttributeOf(itemAt(i), s));
            if (wanted.empty() ? !value.empty() : value.find(wanted) != std::string::npos) {
                start = end = static_cast<std::int32_t>(i + 1);
            }
        }
    }

    // Step 4, items.
    std::string output;
    for (std::int64_t line = start; line <= end; ++line) {
        const long k0 = static_cast<long>(line - 1);
        std::string attributes;
        std::string list = attributeList;
        for (std::size_t p = list.find(';'); p != std::string::npos; p = list.find(';')) {
            const std::string name = list.substr(0, p);
            list = list.substr(p + 1);
            attributes += AttributeOf(itemAt(k0), name) + " ";
        }
        output += attributes;
        output += templateText;

        std::string work(templateText.substr(0, 255));
        while (work.find('<') != std::string::npos) {
            const std::size_t p1 = work.find('<') + 1;
            const std::size_t p2 = work.find('>', p1);
            if (p2 == std::string::npos) break;
            std::string name = work.substr(p1, p2 - p1);
            double k = 0;
            const std::size_t mark = name.find("Line#:");
            if (mark != std::string::npos) {
                const std::size_t semi = name.find(';', mark + 6);
                const std::string number =
                    semi == std::string::npos ? name.substr(mark + 6) : name.substr(mark + 6, semi - mark - 6);
                k = text::NumberFromText(number) - 1;
                const std::string removed =
                    " " + (semi == std::string::npos ? name.substr(mark) : name.substr(mark, semi - mark + 1));
                const std::string cleaned = ReplaceAll(name, removed, "");
                output = ReplaceAll(output, name, cleaned);
                name = cleaned;
            }
            std::string value;
            const std::size_t attributeMark = name.find("MyAttribut:");
            if (attributeMark != std::string::npos) {
                const std::string attribute = name.substr(attributeMark + 11);
                const std::size_t spaced = name.find(" MyAttribut:");
                const std::string pattern = spaced == std::string::npos ? name : name.substr(0, spaced);
                const NodeRef item = itemAt(k0);
                const std::optional<long> index = RoundedPosition(k);
                if (item && index) value = AttributeOf(ItemOf(item->SelectNodes(pattern), *index), attribute);
            } else {
                const NodeRef item = itemAt(k0);
                if (item && !item->Text().empty()) {
                    if (name.find('/') != std::string::npos) {
                        value = TextOf(item->SelectSingleNode(name));
                    } else if (const std::optional<long> index = RoundedPosition(k)) {
                        value = TextOf(ItemOf(item->GetElementsByTagName(name), *index));
                    }
                    if (settings.FLTHTML == 1) value = StripTags(value);
                    if (settings.FLTWrap == 1) value = RemoveLineFeeds(value);
                }
            }
            output = ReplaceAll(output, "<" + name + ">", value);
            work = work.substr(p2 + 1);
        }
    }

    // Step 5, entities; step 6, store.
    if (settings.FLTHTMLCode == 1) output = DecodeNamedEntities(DecodeNumericReferences(output));
    return std::string(text::CutToFit(output, 2047));
}

}  // namespace vardel::testing::reference
