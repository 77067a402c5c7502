#include "host_profile.h"

namespace newsmeter {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// A value of any length: the reader cuts to a buffer size as the Windows calls do.
constexpr std::size_t kWholeValue = static_cast<std::size_t>(-1);

}  // namespace

std::vector<std::string> MeterSections(const ProfileIndex& profile) {
    std::vector<std::string> meters;
    const std::string listed = profile.ReadString("newsmeter", "meters", "", kWholeValue);
    if (!listed.empty()) {
        std::string_view rest = listed;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            const std::string_view name = TrimBlanks(rest.substr(0, comma));
            if (!name.empty()) meters.emplace_back(name);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return meters;
    }
    for (const std::string& name : profile.SectionNames())
        if (!SameName(name, "newsmeter") && !SameName(name, "DLF")) meters.push_back(name);
    return meters;
}

}  // namespace newsmeter
