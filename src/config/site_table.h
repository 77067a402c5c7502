// The site table: the news sites of the plug-in's own site list file, numbered
// from 1, with the per-site bookkeeping of the news cycle.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/components.h"
#include "text/fixed_text.h"

namespace vardel::config {

struct SiteEntry {
    text::PaddedField<100> Name;          // blank-padded; trimmed wherever it is used
    text::FixedText<256> Address;
    std::int16_t RefreshMinutes = 0;
    std::uint32_t NextRefreshTick = 0;
    std::uint32_t NextRefreshTakenAt = 0;  // the counter reading NextRefreshTick was computed from
    platform::DocumentRef FeedDocument;       // shared with the current document of an extraction
    double LastDownload = 0.0;            // day serial; 0 = never stamped
    bool CopyRefusalShown = false;        // the user was told that the site keeps no feed copy
};

// Element 0 exists (and never matches) once a load found at least one site; the
// table is empty until then.
std::vector<SiteEntry>& SiteTable();

// The number of the last site (0 when the table is empty).
std::int32_t LastSiteNumber();
// True when number names a site of the table (1 to LastSiteNumber()).
bool IsSiteNumber(std::int32_t number);

void LoadSites();
std::int16_t FindSite(std::string_view name);
// FindSite for a name as an instance's settings hold it, in at most heldLength
// characters: a site name longer than that is held cut, and saved and read back
// so, so when no site has exactly the name, the site whose name is cut to it is
// found (the first, as FindSite finds the first).
std::int16_t FindSiteOfHeldName(std::string_view name, std::size_t heldLength);
void StampSiteDownload(std::int32_t site);

// The site's tick stamp: due again 60 x minutes x 1000 - 10 ms after the counter
// reading, and whether the counter has passed it.
void StampNextRefresh(SiteEntry& site, std::uint32_t counter, std::int16_t minutes);
bool NextRefreshPassed(const SiteEntry& site, std::uint32_t counter);

// Releases the table and every feed document it holds.
void ReleaseSites();

}  // namespace vardel::config
