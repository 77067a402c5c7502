// Instance settings in the host profile: the instance's keys in the section the
// host names, and section "DLF" with the disk-copy flag and the names of the
// sites that instances use.
#include "config/instance_settings.h"

#include <cstring>
#include <map>
#include <string>

#include "config/site_table.h"
#include "platform/services.h"
#include "text/number.h"
#include "text/text.h"

namespace vardel::config {

std::int32_t IsDLF = 0;

std::vector<InstanceSettings>& SettingsTable() {
    // Never destroyed: the library's unload empties it (ReleaseSettings).
    static std::vector<InstanceSettings>& table = *new std::vector<InstanceSettings>;
    return table;
}

bool HasSettingsRecord(std::int32_t number) {
    return number >= 0 && static_cast<std::size_t>(number) < SettingsTable().size();
}

InstanceSettings& SettingsOf(std::int32_t instance) { return SettingsTable()[static_cast<std::size_t>(instance)]; }

void ReleaseSettings() {
    std::vector<InstanceSettings>& table = SettingsTable();
    table.clear();
    table.shrink_to_fit();
}

namespace {

constexpr std::string_view kDlfSection = "DLF";
constexpr std::string_view kDlfKey = "IsDLF";
// Values are read with a 1000-byte buffer: at most 999 characters.
constexpr std::size_t kValueBufferSize = 1000;

platform::ProfileStore& Profiles() { return *platform::Services().profiles; }

// Reads one key of a section of the host profile.
class ProfileReader {
public:
    ProfileReader(std::string_view file, std::string_view section) : file_(file), section_(section) {}

    std::string Text(std::string_view key, std::string_view defaultValue) const {
        return Profiles().ReadString(section_, key, defaultValue, kValueBufferSize, file_);
    }
    std::int16_t Int16(std::string_view key, std::string_view defaultValue) const {
        return text::Int16FromText(Text(key, defaultValue));
    }
    std::int32_t Int32(std::string_view key, std::string_view defaultValue) const {
        return text::Int32FromText(Text(key, defaultValue));
    }

private:
    std::string_view file_;
    std::string_view section_;
};

// The site name as saved: the name held, or, when the held name is its site's
// name cut to the field (a site name of 100 characters), the held name followed
// by the rest of the site's name, so that the next load finds the same site.
std::string SavedSiteName(const InstanceSettings& record) {
    const std::string_view held = record.SiteName.View();
    if (held.size() < decltype(record.SiteName)::kMaxLength || !IsSiteNumber(record.SiteIndex)) return std::string(held);
    const std::string_view full =
        text::TrimBlanks(SiteTable()[static_cast<std::size_t>(record.SiteIndex)].Name.View());
    if (full.size() <= held.size() || text::UpperCase(full.substr(0, held.size())) != text::UpperCase(held))
        return std::string(held);
    return std::string(held) + std::string(full.substr(held.size()));
}

// The noted names of step 2 of a save: for each site number the trimmed name of
// the last record that uses it.
std::map<std::int16_t, std::string> SitesInUse() {
    std::map<std::int16_t, std::string> used;
    for (const InstanceSettings& record : SettingsTable()) {
        if (record.SiteIndex >= 0) used[record.SiteIndex] = std::string(text::TrimBlanks(SavedSiteName(record)));
    }
    return used;
}

}  // namespace

void LoadInstanceSettings(std::int32_t instance, std::string_view file, std::string_view section) {
    if (SiteTable().empty()) LoadSites();

    InstanceSettings& s = SettingsOf(instance);
    std::memset(static_cast<void*>(&s), 0, sizeof s);

    const ProfileReader key(file, section);
    s.SiteType = key.Int16("SiteType", "1003");
    const std::string siteName = key.Text("SiteName", "");
    s.SiteName = siteName;
    s.SiteIndex = FindSiteOfHeldName(siteName, decltype(s.SiteName)::kMaxLength);
    s.StartZeile = text::TrimBlanks(key.Text("StartZeile", "1"));
    s.EndZeile = text::TrimBlanks(key.Text("EndZeile", "1"));
    s.Style = key.Int16("Style", "0");
    s.KeyNode = key.Text("KeyNode", "item");
    s.Template = key.Text("Template", "<title>%l<link>");
    s.Refreshrate = key.Int16("Refreshrate", "5");

    // The last loaded instance that shows a site sets the site's interval.
    if (IsSiteNumber(s.SiteIndex)) SiteTable()[static_cast<std::size_t>(s.SiteIndex)].RefreshMinutes = s.Refreshrate;

    IsDLF = ProfileReader(file, kDlfSection).Int32(kDlfKey, "0");

    s.RS = key.Text("RS", "");
    s.FLTHTML = key.Int32("FLTHTML", "0");
    s.FLTWrap = key.Int32("FLTWrap", "0");
    s.FLTHTMLCode = key.Int32("FLTHTMLCode", "0");
}

void SaveInstanceSettings(std::int32_t instance, std::string_view file, std::string_view section) {
    platform::ProfileStore& profiles = Profiles();

    profiles.WriteSection(kDlfSection, {}, file);
    for (const auto& [site, name] : SitesInUse()) {
        if (!name.empty()) profiles.WriteString(kDlfSection, name, "1", file);
    }
    profiles.WriteString(kDlfSection, kDlfKey, text::IntegerToText(IsDLF), file);

    const InstanceSettings& s = SettingsOf(instance);
    auto write = [&](std::string_view key, std::string_view value) {
        profiles.WriteString(section, key, value, file);
    };
    write("SiteType", text::IntegerToText(s.SiteType));
    write("SiteName", SavedSiteName(s));
    write("StartZeile", s.StartZeile.View());
    write("EndZeile", s.EndZeile.View());
    write("Style", text::IntegerToText(s.Style));
    write("KeyNode", s.KeyNode.View());
    write("Template", s.Template.View());
    write("Refreshrate", text::IntegerToText(s.Refreshrate));
    write("RS", s.RS.View());
    write("FLTHtml", text::IntegerToText(s.FLTHTML));
    write("FLTWrap", text::IntegerToText(s.FLTWrap));
    write("FLTHTMLCode", text::IntegerToText(s.FLTHTMLCode));
}

}  // namespace vardel::config
