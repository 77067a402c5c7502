// The host profile as newsmeter reads it: which meters to run. The plug-in reads
// each meter's own keys itself (src_load_settings with the file and section).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace newsmeter {

// The section names of an INI text, in file order, each once (the first spelling
// of names that differ only in letter case).
std::vector<std::string> SectionNames(std::string_view content);

// The value of the first key of that name in the first section of that name
// (names compared without regard to ASCII letter case; blanks around names and
// values are not significant); empty when there is none.
std::string ProfileValue(std::string_view content, std::string_view section, std::string_view key);

// The meters of a host profile, in the order they are shown:
// - the names listed in "meters" of section "newsmeter", separated by commas;
// - otherwise every section except "newsmeter" and the plug-in's own "DLF".
std::vector<std::string> MeterSections(std::string_view content);

bool SameName(std::string_view a, std::string_view b);

}  // namespace newsmeter
