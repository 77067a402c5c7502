#include "host_profile.h"

namespace newsmeter {
namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Calls visit(section, line) for every line of the text, with the name of the
// section it lies in ("" before the first header); headers give an empty line.
template <typename Visit>
void WalkLines(std::string_view content, Visit visit) {
    std::string_view section;
    while (!content.empty()) {
        const auto end = content.find('\n');
        std::string_view line = Trim(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            const auto close = line.find(']');
            section = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            visit(section, std::string_view());
        } else if (!line.empty() && line.front() != ';') {
            visit(section, line);
        }
    }
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::vector<std::string> SectionNames(std::string_view content) {
    std::vector<std::string> names;
    WalkLines(content, [&](std::string_view section, std::string_view line) {
        if (!line.empty() || section.empty()) return;
        for (const std::string& known : names)
            if (SameName(known, section)) return;
        names.emplace_back(section);
    });
    return names;
}

std::string ProfileValue(std::string_view content, std::string_view section, std::string_view key) {
    // Only the first section of the name counts, as the profile functions read it.
    std::string value;
    bool inFirst = false, seen = false, found = false;
    WalkLines(content, [&](std::string_view sec, std::string_view line) {
        if (line.empty()) {  // a section header
            inFirst = SameName(sec, section) && !seen;
            seen = seen || inFirst;
            return;
        }
        if (!inFirst || found) return;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || !SameName(Trim(line.substr(0, equals)), key)) return;
        value = Trim(line.substr(equals + 1));
        found = true;
    });
    return value;
}

std::vector<std::string> MeterSections(std::string_view content) {
    std::vector<std::string> meters;
    const std::string listed = ProfileValue(content, "newsmeter", "meters");
    if (!listed.empty()) {
        std::string_view rest = listed;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            const std::string_view name = Trim(rest.substr(0, comma));
            if (!name.empty()) meters.emplace_back(name);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return meters;
    }
    for (std::string& name : SectionNames(content))
        if (!SameName(name, "newsmeter") && !SameName(name, "DLF")) meters.push_back(std::move(name));
    return meters;
}

}  // namespace newsmeter
