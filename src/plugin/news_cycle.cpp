// The news cycle: what one GetNews call does for an instance. Most calls fall
// inside the instance's hold and return the cached text at once; a due call
// resolves the site, fetches or re-reads its feed when the site is due, extracts
// the instance's lines, tells the host, removes the remove-string and holds again.
#include "plugin/news_cycle.h"

#include <string>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "feed/extraction.h"
#include "feed/retrieval.h"
#include "platform/services.h"
#include "plugin/instances.h"
#include "text/text.h"
#include "timeutil/tick_stamps.h"
#include "timeutil/timestamp.h"
#include "vardel/host_window.h"

namespace vardel::plugin {

using timeutil::CounterBelow;
using timeutil::TickStamp;

namespace {

constexpr char kErrorWord[] = "Fehler";
constexpr char kItemNode[] = "item";
// The built-in line formats of the "News" kind. "%l" and "%b" mean something to
// the host only; they pass through unchanged.
constexpr char kDefaultTemplate[] = "<title>%l<link>";
constexpr char kTickerTemplate[] = "<title> * ";
constexpr char kListTemplate[] = "<title>%b";

std::uint32_t Counter() { return platform::Services().clock->TickCount(); }

config::SiteEntry& Site(std::int32_t site) { return config::SiteTable()[static_cast<std::size_t>(site)]; }

void StampSite(std::int32_t site, std::int16_t minutes) { config::StampNextRefresh(Site(site), Counter(), minutes); }

bool SiteDue(std::int32_t site) { return config::NextRefreshPassed(Site(site), Counter()); }

// Downloads are held off until the site's stamp (now + the hold-off at the last
// download). A stamp further ahead than one hold-off cannot come from a download;
// the clock was set back since (or the file edited), and waiting for that date
// would block the site for as long: it is due. The second of slack covers the
// rounding of the day serials (whole seconds) of the stamp just written.
bool DownloadDue(double now, double lastDownload) {
    constexpr double kOneSecond = 1.0 / 86400.0;
    return now > lastDownload || lastDownload - now > timeutil::kDownloadHoldOff + kOneSecond;
}

// Download-only mode: the feed lives in memory only; a due site is downloaded
// and its stamp moves whatever the outcome.
void FetchForMemory(std::int32_t site, std::int16_t minutes) {
    if (!SiteDue(site)) return;
    feed::DownloadFeed(static_cast<std::int16_t>(site));
    StampSite(site, minutes);
}

// Disk-copy mode: a site is downloaded at most once per download hold-off (its
// day-serial stamp, which survives restarts); a failed download falls back to the
// copy at once, and between downloads the copy is read back whenever the tick
// stamp has passed.
void FetchWithCopy(std::int32_t site, std::int16_t minutes) {
    const double now = timeutil::StampToDaySerial(timeutil::TimeStampNow());
    if (DownloadDue(now, Site(site).LastDownload)) {
        if (!feed::DownloadFeed(static_cast<std::int16_t>(site))) feed::LoadFeedCopy(site);
        StampSite(site, minutes);
    }
    if (SiteDue(site)) feed::LoadFeedCopy(site);
}

void Extract(std::int32_t instance) {
    // The extraction shows no message and never lets the host in, so the record
    // stays where it is while its template and key node are read.
    const config::InstanceSettings& settings = config::SettingsOf(instance);
    switch (settings.SiteType) {
        case config::kSiteTypeNews:
            switch (settings.Style) {
                case config::kStyleDefault: ExtractInstanceText(instance, kDefaultTemplate, kItemNode); break;
                case config::kStyleTicker: ExtractInstanceText(instance, kTickerTemplate, kItemNode); break;
                case config::kStyleList: ExtractInstanceText(instance, kListTemplate, kItemNode); break;
                default: StateOf(instance).Text = kErrorWord; break;
            }
            break;
        case config::kSiteTypeFreestyle:
            ExtractInstanceText(instance, settings.Template.View(), settings.KeyNode.View());
            break;
        default:  // any other kind leaves the text as it is
            break;
    }
}

void RemoveRemoveString(std::int32_t instance) {
    const config::InstanceSettings& settings = config::SettingsOf(instance);
    if (settings.RS.Empty()) return;
    InstanceState& state = StateOf(instance);
    state.Text = text::ReplaceAll(state.Text.View(), settings.RS.View(), "");
}

}  // namespace

void ExtractInstanceText(std::int32_t instance, std::string_view templateText, std::string_view keyNode) {
    if (!IsOpenInstance(instance)) return;
    StateOf(instance).Text = feed::ExtractFeedText(config::SettingsOf(instance), templateText, keyNode);
}

const char* RunNewsCycle(std::int32_t instance) {
    // Numbers never handed out get an empty text of our own, never a null address.
    static const char kNoText[1] = "";
    if (!IsOpenInstance(instance)) return kNoText;

    const InstanceState& held = StateOf(instance);
    if (CounterBelow(Counter(), held.HoldUntil, held.HoldTakenAt)) return held.Text.CStr();

    config::InstanceSettings& settings = config::SettingsOf(instance);
    if (settings.SiteIndex == -1) {
        settings.SiteIndex = config::FindSiteOfHeldName(settings.SiteName.View(), settings.SiteName.kMaxLength);
        // A site found only now (the site list was read after this instance's
        // load) takes the instance's interval, as the load would have given it.
        if (config::IsSiteNumber(settings.SiteIndex)) Site(settings.SiteIndex).RefreshMinutes = settings.Refreshrate;
    }
    // Without a site (no such name, or an index the table no longer reaches) there
    // is nothing to fetch, extract or time: the text stays as it is.
    const std::int32_t site = settings.SiteIndex;
    if (!config::IsSiteNumber(site)) return StateOf(instance).Text.CStr();

    const std::int16_t minutes = Site(site).RefreshMinutes;
    switch (config::IsDLF) {
        case 0: FetchForMemory(site, minutes); break;
        case 1: FetchWithCopy(site, minutes); break;
        default: break;  // nothing is fetched; extraction reads what the site holds
    }

    Extract(instance);
    platform::Services().host->SendToHost(Globals().HostWindow, VARDEL_MSG_NEWS_CYCLE, 0, 0);

    // The fetch's message boxes and the host message may have let the host in
    // again (dllstartup grows the tables), so the records are looked up afresh.
    RemoveRemoveString(instance);
    InstanceState& state = StateOf(instance);
    const std::uint32_t counter = Counter();
    state.HoldUntil = TickStamp(counter, minutes);
    state.HoldTakenAt = counter;
    return state.Text.CStr();
}

}  // namespace vardel::plugin
