// The host profile as newsmeter reads it: which meters to run. The plug-in reads
// each meter's own keys itself (src_load_settings with the file and section).
//
// The profile is read with the same INI reader as the plug-in's own profile
// layer, so both see the same sections, keys, comments and byte-order mark.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/ini_file.h"

namespace newsmeter {

using ProfileIndex = vardel::platform::linux_layer::ini::Index;

// The meters of a host profile, in the order they are shown:
// - the names listed in "meters" of section "newsmeter", separated by commas;
// - otherwise every section except "newsmeter" and the plug-in's own "DLF".
std::vector<std::string> MeterSections(const ProfileIndex& profile);

}  // namespace newsmeter
