// The site table and the site list file: sites in section "Sites", one line
// "name=address" each, numbered in the order of the lines; download stamps in
// section "LastDL" under each site's name.
#include "config/site_table.h"

#include <limits>

#include "platform/services.h"
#include "files/plugin_files.h"
#include "text/number.h"
#include "text/text.h"
#include "timeutil/tick_stamps.h"
#include "timeutil/timestamp.h"

namespace vardel::config {
namespace {

constexpr std::string_view kSitesSection = "Sites";
constexpr std::string_view kStampsSection = "LastDL";
constexpr std::string_view kStampsSectionWritten = "lastDL";
constexpr std::size_t kStampBufferSize = 256;

// Site numbers travel as 16-bit numbers (SiteIndex, FindSite); a site beyond the
// largest one could never be referred to, and would alias a smaller number.
constexpr std::size_t kMaxSiteNumber = std::numeric_limits<std::int16_t>::max();

platform::ProfileStore& Profiles() { return *platform::Services().profiles; }

std::string_view TrimmedName(const SiteEntry& site) { return text::TrimBlanks(site.Name.View()); }

void ReadSiteLines(const std::vector<std::string>& lines) {
    std::vector<SiteEntry>& table = SiteTable();
    table.clear();
    const std::size_t count = lines.size() < kMaxSiteNumber ? lines.size() : kMaxSiteNumber;
    table.resize(count + 1);  // element 0 stays all zero
    for (std::size_t number = 1; number <= count; ++number) {
        const std::string_view line = lines[number - 1];
        const std::size_t eq = line.find('=');
        SiteEntry& site = table[number];
        site.Name.Assign(line.substr(0, eq));
        site.Address = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
    }
}

}  // namespace

std::vector<SiteEntry>& SiteTable() {
    // Never destroyed: the library's unload empties it (ReleaseSites).
    static std::vector<SiteEntry>& table = *new std::vector<SiteEntry>;
    return table;
}

std::int32_t LastSiteNumber() {
    const std::vector<SiteEntry>& table = SiteTable();
    return table.empty() ? 0 : static_cast<std::int32_t>(table.size() - 1);
}

bool IsSiteNumber(std::int32_t number) { return number >= 1 && number <= LastSiteNumber(); }

void LoadSites() {
    const std::string path = files::SiteListPath();
    // The whole section, however long: every site of the list is kept.
    const std::vector<std::string> lines = Profiles().ReadSection(kSitesSection, path);
    if (!lines.empty()) ReadSiteLines(lines);

    std::vector<SiteEntry>& table = SiteTable();
    for (std::size_t number = 1; number < table.size(); ++number) {
        SiteEntry& site = table[number];
        const std::string stamp =
            Profiles().ReadString(kStampsSection, TrimmedName(site), "", kStampBufferSize, path);
        site.LastDownload = text::NumberFromText(stamp);
    }
}

std::int16_t FindSite(std::string_view name) {
    const std::string wanted = text::UpperCase(text::TrimBlanks(name));
    const std::vector<SiteEntry>& table = SiteTable();
    // Element 0 is all zero and never matches.
    for (std::size_t number = 1; number < table.size() && number <= kMaxSiteNumber; ++number) {
        if (text::UpperCase(TrimmedName(table[number])) == wanted) return static_cast<std::int16_t>(number);
    }
    return -1;
}

std::int16_t FindSiteOfHeldName(std::string_view name, std::size_t heldLength) {
    const std::int16_t exact = FindSite(name);
    if (exact != -1) return exact;
    const std::string wanted = text::UpperCase(text::TrimBlanks(name));
    if (wanted.empty()) return -1;
    const std::vector<SiteEntry>& table = SiteTable();
    for (std::size_t number = 1; number < table.size() && number <= kMaxSiteNumber; ++number) {
        const std::string_view full = TrimmedName(table[number]);
        if (full.size() <= heldLength) continue;
        // What the held name reads back as: cut, then trimmed by the profile read.
        if (text::UpperCase(text::TrimBlanks(full.substr(0, heldLength))) == wanted)
            return static_cast<std::int16_t>(number);
    }
    return -1;
}

void StampSiteDownload(std::int32_t site) {
    if (!IsSiteNumber(site)) return;
    SiteEntry& entry = SiteTable()[static_cast<std::size_t>(site)];
    entry.LastDownload = timeutil::DaySerialNow() + timeutil::kDownloadHoldOff;
    Profiles().WriteStringReplacingFile(kStampsSectionWritten, TrimmedName(entry),
                                        text::NumberToText(entry.LastDownload), files::SiteListPath());
}

void StampNextRefresh(SiteEntry& site, std::uint32_t counter, std::int16_t minutes) {
    site.NextRefreshTick = timeutil::TickStamp(counter, minutes, timeutil::kSiteStampLead);
    site.NextRefreshTakenAt = counter;
}

bool NextRefreshPassed(const SiteEntry& site, std::uint32_t counter) {
    return timeutil::CounterAbove(counter, site.NextRefreshTick, site.NextRefreshTakenAt);
}

void ReleaseSites() {
    std::vector<SiteEntry>& table = SiteTable();
    table.clear();  // releases every feed document
    table.shrink_to_fit();
}

}  // namespace vardel::config
