// PLACEHOLDER: replaced by the real implementation.
#include "config/site_table.h"
namespace vardel::config {
std::vector<SiteEntry>& SiteTable() { static auto& t = *new std::vector<SiteEntry>; return t; }
std::int32_t LastSiteNumber() { return SiteTable().empty() ? 0 : static_cast<std::int32_t>(SiteTable().size() - 1); }
bool IsSiteNumber(std::int32_t n) { return n >= 1 && n <= LastSiteNumber(); }
std::string SiteListPath() { return {}; }
void LoadSites() {}
std::int16_t FindSite(std::string_view) { return -1; }
void StampSiteDownload(std::int32_t) {}
void ReleaseSites() { SiteTable().clear(); }
}
