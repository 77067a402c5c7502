// Instance settings: one record per meter instance, kept in the host's profile
// file, and the plug-in-wide disk-copy flag.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "text/fixed_text.h"

namespace vardel::config {

inline constexpr std::int16_t kSiteTypeNews = 1003;
inline constexpr std::int16_t kSiteTypeFreestyle = 1004;
inline constexpr std::int16_t kStyleDefault = 0;
inline constexpr std::int16_t kStyleTicker = 1011;
inline constexpr std::int16_t kStyleList = 1012;

// Fields in their stored order; all zero until src_load_settings fills the record.
struct InstanceSettings {
    std::int16_t SiteType;
    text::FixedText<100> SiteName;
    std::int16_t SiteIndex;  // derived from SiteName, never saved; -1 = no such site
    text::FixedText<32> StartZeile;
    text::FixedText<32> EndZeile;
    std::int16_t Style;
    text::FixedText<100> KeyNode;
    text::FixedText<200> Template;
    std::int16_t Refreshrate;
    text::FixedText<128> RS;
    std::int32_t FLTHTML;
    std::int32_t FLTWrap;
    std::int32_t FLTHTMLCode;
};
static_assert(std::is_trivially_copyable_v<InstanceSettings>);

// 0 = download-only mode, 1 = disk-copy mode; any other value fetches nothing.
extern std::int32_t IsDLF;

// The settings table: one record per instance number, element 0 included and
// never handed out. The plug-in boundary grows it as instances open; growing may
// move the records, so an address into it is valid only until the next growth.
std::vector<InstanceSettings>& SettingsTable();
// True when number has a record (pastemeter may create records beyond the
// instances handed out).
bool HasSettingsRecord(std::int32_t number);
InstanceSettings& SettingsOf(std::int32_t instance);
// Empties the table and gives its storage back (library unload).
void ReleaseSettings();

// Loads the instance's record (and IsDLF) from section of the profile file; the
// first load also reads the site table.
void LoadInstanceSettings(std::int32_t instance, std::string_view file, std::string_view section);
// Writes the instance's record into section, and rewrites section "DLF".
void SaveInstanceSettings(std::int32_t instance, std::string_view file, std::string_view section);

}  // namespace vardel::config
