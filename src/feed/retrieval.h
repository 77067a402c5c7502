// Getting a site's feed: from its address, by an explicit HTTP request, and from
// its copy on disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vardel::feed {

// HostFolder + "plugins\Vardel\" + the site's blank-trimmed name + ".xml"; empty
// when the name cannot name a file in the plug-in's folder (files::IsFeedCopyName).
std::string FeedCopyPath(std::int32_t site);

// Fetches the address by an HTTP GET, parses the response and installs it as the
// site's feed document (saving and stamping it in disk-copy mode).
bool HttpFetch(std::string_view address, std::int16_t site);

// Loads the site's address through the XML document component, falling back to
// HttpFetch on a parse error other than resource-not-found.
bool DownloadFeed(std::int16_t site);

// Installs the site's feed copy from disk.
void LoadFeedCopy(std::int32_t site);

}  // namespace vardel::feed
