#include "files/plugin_files.h"

namespace vardel::files {
namespace {

constexpr std::string_view kPluginFolder = "plugins\\Vardel\\";
constexpr std::string_view kSiteListName = "Vardel2.ini";
constexpr std::string_view kFeedCopyExtension = ".xml";

std::string& Folder() {
    // Never destroyed: the library's unload empties it (ReleaseHostFolder).
    static std::string& folder = *new std::string;
    return folder;
}

}  // namespace

const std::string& HostFolder() { return Folder(); }

void SetHostFolder(std::string_view folder) { Folder().assign(folder); }

void ReleaseHostFolder() { std::string().swap(Folder()); }

std::string SiteListPath() {
    std::string path = Folder();
    path += kPluginFolder;
    path += kSiteListName;
    return path;
}

bool IsFeedCopyName(std::string_view trimmedSiteName) {
    return trimmedSiteName.find_first_of("\\/") == std::string_view::npos &&
           trimmedSiteName.find("..") == std::string_view::npos;
}

std::string FeedCopyPath(std::string_view trimmedSiteName) {
    if (!IsFeedCopyName(trimmedSiteName)) return {};
    std::string path = Folder();
    path += kPluginFolder;
    path += trimmedSiteName;
    path += kFeedCopyExtension;
    return path;
}

}  // namespace vardel::files
