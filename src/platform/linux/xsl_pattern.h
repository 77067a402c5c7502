// Translation of the selection patterns of SELECTNODES and SELECTSINGLENODE (the
// XSL pattern language of the Windows component) into XPath 1.0 for libxml2.
//
// The differences that matter:
// - a number in brackets counts from 0 ("item[0]" is the first item);
// - names match the qualified name as written in the document, whatever namespace
//   it is in, so "item" also finds the items of a feed in a default namespace and
//   "dc:date" finds dc:date without any namespace set-up;
// - whitespace-only text nodes do not count (the Windows component drops them when
//   it parses), so "text()" and "node()" skip them;
// - "end()", "index()", "ancestor(name)" and the "$eq$"-style operators.
//
// Supported forms: "/", "//", ".", "..", "*", names and "prefix:*", "@name",
// "@*", "text()", "node()", "comment()", "pi()", "ancestor(name)", "|", and
// filters in brackets: a position, or a condition built from paths, strings,
// numbers, "end()", "index()", "last()", comparisons ("=", "!=", "<", "<=", ">",
// ">=", "$eq$", "$ne$", "$lt$", "$le$", "$gt$", "$ge$" and the case-insensitive
// "$ieq$", "$ine$"), "and"/"$and$", "or"/"$or$", "not(...)"/"$not$" and
// parentheses. Anything else is malformed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::platform::linux_layer {

// The name of the XPath function the translation uses to leave out whitespace-only
// text nodes; the evaluator registers it (true for every other node).
inline constexpr const char* kSignificantNodeFunction = "vardel-significant";

// The XPath expression for a pattern (both UTF-8), or nothing when the pattern is
// malformed.
std::optional<std::string> XslPatternToXPath(std::string_view pattern);

// The common patterns are plain paths of child steps by name, each with at most
// one position, perhaps ending in an attribute: "channel/item[3]/title",
// "/rss/channel", "media:content/@url", "*[0]". They are evaluated directly, which
// saves XPath's name() test on every child (a path into a feed of 20,000 items
// would otherwise test them all) and stops at the position asked for.
struct SimpleStep {
    std::string prefix;     // "" when the name has none
    std::string local;      // "" for "*"
    long position = -1;     // counted from 0; -1 for every match
    bool attribute = false; // "@name", only as the last step
};

struct SimplePath {
    bool absolute = false;  // starts at the document
    std::vector<SimpleStep> steps;
};

// The path when the pattern is one of those forms, else nothing (the pattern may
// still be valid for XslPatternToXPath).
std::optional<SimplePath> ParseSimplePath(std::string_view pattern);

}  // namespace vardel::platform::linux_layer
