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

namespace vardel::platform::linux_layer {

// The name of the XPath function the translation uses to leave out whitespace-only
// text nodes; the evaluator registers it (true for every other node).
inline constexpr const char* kSignificantNodeFunction = "vardel-significant";

// The XPath expression for a pattern (both UTF-8), or nothing when the pattern is
// malformed.
std::optional<std::string> XslPatternToXPath(std::string_view pattern);

}  // namespace vardel::platform::linux_layer
