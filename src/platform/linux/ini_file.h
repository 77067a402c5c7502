// Profile (INI) file text, read and edited in memory with the matching rules of
// the Windows private-profile functions:
// - a section starts at a line "[name]" (blanks and tabs around the line and
//   inside the brackets do not count; the name ends at the line's last "]") and
//   runs to the next section line; lines before the first section belong to none;
// - a line whose first non-blank character is ";" is a comment;
// - any other non-blank line is an entry: the key is the text before its first
//   "=", the value the text after it, both without surrounding blanks and tabs;
//   a line without "=" is kept but is no key;
// - section and key names match without regard to ASCII letter case;
// - of two equal sections, and of two equal keys in one section, the first wins.
//
// Edits change only the lines they must: every other line keeps its bytes, its
// place and its line end. New lines take the line end of the text (CR LF when its
// first line ends so, LF otherwise).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vardel::platform::linux_layer::ini {

// The sections and keys of a text, gathered in one pass so that each lookup
// costs no more than a hash lookup (a long site list is read key by key).
class Index {
public:
    Index() = default;
    explicit Index(std::string_view text);

    // The value of key in section, with a matching pair of enclosing double or
    // single quotes removed; when there is no such key, defaultValue without its
    // trailing blanks. At most bufferSize - 1 characters are returned.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue,
                           std::size_t bufferSize) const;

    // Every entry of the first matching section: "key=value" trimmed (quotes
    // kept), lines without "=" trimmed; comments and blank lines left out.
    std::vector<std::string> ReadSection(std::string_view section) const;

    // The names of the sections, in file order, each once: the spelling of the
    // first of equal names.
    const std::vector<std::string>& SectionNames() const { return sectionNames_; }
    bool HasSection(std::string_view section) const;

private:
    struct Section {
        std::vector<std::string> lines;
        std::unordered_map<std::string, std::string> values;  // folded key -> first value, unquoted
    };
    std::unordered_map<std::string, Section> sections_;  // folded name -> first section of that name
    std::vector<std::string> sectionNames_;
};

// One-off reads of a text (an Index built and used once).
std::string ReadString(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view defaultValue, std::size_t bufferSize);
std::vector<std::string> ReadSection(std::string_view text, std::string_view section);

// Sets key in section to value, written as given: the first matching entry is
// replaced (keeping its indentation and the key as spelled there), otherwise the
// entry is added after the section's last entry, and a missing section is added
// at the end. False, with the text unchanged, when a name or the value would not
// read back (a line break anywhere, a key that starts a comment or a section).
bool WriteString(std::string& text, std::string_view section, std::string_view key,
                 std::string_view value);

// Replaces the entries of the first matching section by lines (each written as
// given); its comments and blank lines stay. An empty list leaves the section
// line with no entries, and changes nothing when the section is missing. False,
// with the text unchanged, when a line or the name holds a line break.
bool WriteSection(std::string& text, std::string_view section, const std::vector<std::string>& lines);

}  // namespace vardel::platform::linux_layer::ini
