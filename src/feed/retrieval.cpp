// Getting a site's feed: straight from its address through the XML document
// component, by an explicit HTTP request when that load fails, and from the feed
// copy on disk. Every component call runs whatever the previous one gave; only the
// final parse outcome decides.
#include "feed/retrieval.h"

#include <memory>
#include <string>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "files/plugin_files.h"
#include "platform/components.h"
#include "platform/services.h"
#include "text/number.h"
#include "text/text.h"

namespace vardel::feed {

using platform::DocumentRef;
using platform::HttpRequest;
using platform::ParseError;
using platform::XmlDocument;

namespace {

// The request as the plug-in has always sent it: the method text doubles as the
// name of the one added header line.
constexpr char kMethod[] = "Get";
constexpr char kAgent[] = "TarnAgent";
constexpr bool kSynchronous = false;  // the asynchronous flag

// One site's fetch, the direct load and the HTTP fallback together, ends within
// this time.
constexpr std::uint32_t kSiteFetchTimeLimitMs = 30'000;

constexpr char kComponentMissing[] = "Komponente ist nicht installiert oder registriert.";
constexpr char kComponentMissingCaption[] = "Abbruch ...";
// The feed copy messages have no caption of their own; the plug-in's name tells
// the user where they come from.
constexpr char kCopyMessageCaption[] = "Vardel2";
constexpr char kCopyComponentMissing[] = "f1";
constexpr char kCopyLoadFailed[] = "f2--> Nr: ";
constexpr char kCopyNameRefused[] =
    "Keine Kopie des Feeds auf der Platte: ein Seitenname mit \\, / oder .. "
    "kann keine Datei in plugins\\Vardel\\ benennen.\r";

// Site numbers reach us from the cycle as resolved indexes; anything else names
// no record and is left alone.
config::SiteEntry* SiteRecord(std::int32_t site) {
    return config::IsSiteNumber(site) ? &config::SiteTable()[static_cast<std::size_t>(site)] : nullptr;
}

// Replaces the site's document; the previous one is released unless an
// extraction still holds it.
void InstallDocument(std::int32_t site, const DocumentRef& document) {
    if (config::SiteEntry* entry = SiteRecord(site)) entry->FeedDocument = document;
}

// The site's feed copy path, or empty when the site's name cannot name a file
// in the plug-in's folder; the first time for each site the user is told so.
std::string UsableCopyPath(std::int32_t site) {
    std::string path = FeedCopyPath(site);
    config::SiteEntry* entry = SiteRecord(site);
    if (path.empty() && entry && !entry->CopyRefusalShown) {
        entry->CopyRefusalShown = true;
        platform::Services().messageBox->Show(kCopyNameRefused + std::string(text::TrimBlanks(entry->Name.View())),
                                              kCopyMessageCaption, platform::MessageIcon::None);
    }
    return path;
}

// Disk-copy mode keeps every downloaded feed on disk and holds off the next
// download. The outcome of SAVE is not examined: a copy that cannot be written
// (folder missing, file locked, a name that keeps no copy) still counts as a
// download.
void KeepCopyAndStamp(std::int32_t site, XmlDocument& document) {
    const std::string path = UsableCopyPath(site);
    if (!path.empty()) document.Save(path);
    config::StampSiteDownload(site);
}

}  // namespace

std::string FeedCopyPath(std::int32_t site) {
    const config::SiteEntry* entry = SiteRecord(site);
    return files::FeedCopyPath(entry ? text::TrimBlanks(entry->Name.View()) : std::string_view());
}

bool HttpFetch(std::string_view address, std::int16_t site) {
    if (!SiteRecord(site)) return false;
    const platform::ServiceSet& services = platform::Services();

    std::unique_ptr<HttpRequest> request = services.components->CreateHttpRequest();
    if (!request) {
        services.messageBox->Show(kComponentMissing, kComponentMissingCaption, platform::MessageIcon::Stop);
        return false;
    }
    request->Open(kMethod, address, kSynchronous);
    request->SetRequestHeader(kMethod, kAgent);
    request->Send();
    // The component hands the text over in the ANSI code page, so characters the
    // code page lacks have already become its default character, and the parser
    // below gets the text back from that code page.
    const std::string response = request->ResponseText();

    DocumentRef document = services.components->CreateXmlDocument();
    if (!document) return false;
    document->SetAsync(false);
    // Not one of the component's defaults we otherwise keep here: a feed from the
    // network must never make us fetch external entities or DTDs.
    document->SetResolveExternals(false);
    if (!document->LoadXml(response)) return false;

    InstallDocument(site, document);
    if (config::IsDLF == 1) KeepCopyAndStamp(site, *document);
    return true;
}

bool DownloadFeed(std::int16_t site) {
    const config::SiteEntry* entry = SiteRecord(site);
    if (!entry) return false;
    const std::string address = entry->Address.Str();

    platform::ComponentFactory& components = *platform::Services().components;
    DocumentRef document = components.CreateXmlDocument();
    if (!document) return false;
    const platform::NetworkTimeLimit limit(components, kSiteFetchTimeLimitMs);
    document->SetValidateOnParse(false);
    document->SetAsync(false);
    // The component's default would fetch external entities of whatever the
    // address delivers; we never let it.
    document->SetResolveExternals(false);
    document->Load(address);

    const std::int32_t code = document->GetParseError().code;
    if (code == platform::kResourceNotFound) {
        // Unreachable: no HTTP attempt; in disk-copy mode the stamp holds off the
        // next attempt as a download would.
        if (config::IsDLF == 1) config::StampSiteDownload(site);
        return false;
    }
    if (code != platform::kParsedWithoutError) return HttpFetch(address, site);

    InstallDocument(site, document);
    if (config::IsDLF == 1) KeepCopyAndStamp(site, *document);
    return true;
}

void LoadFeedCopy(std::int32_t site) {
    if (!SiteRecord(site)) return;
    const platform::ServiceSet& services = platform::Services();
    const std::string path = UsableCopyPath(site);
    if (path.empty()) return;  // the site keeps no copy: nothing to read back

    DocumentRef document = services.components->CreateXmlDocument();
    if (!document) {
        services.messageBox->Show(kCopyComponentMissing, kCopyMessageCaption, platform::MessageIcon::None);
        return;
    }
    document->SetValidateOnParse(false);
    document->SetAsync(false);
    document->SetResolveExternals(false);
    document->Load(path);

    const ParseError error = document->GetParseError();
    if (error.code != platform::kParsedWithoutError) {
        std::string message = kCopyLoadFailed;
        message += text::IntegerToText(error.code);
        message += '\r';
        message += error.reason;
        message += '\r';
        message += '|';
        message += path;
        services.messageBox->Show(message, kCopyMessageCaption, platform::MessageIcon::None);
        return;
    }

    config::SiteEntry& entry = *SiteRecord(site);
    entry.FeedDocument = document;
    config::StampNextRefresh(entry, services.clock->TickCount(), entry.RefreshMinutes);
}

}  // namespace vardel::feed
