// The host's folder and the paths of the plug-in's own files below it: the site
// list file and the feed copies.
//
// Every path is the folder text exactly as the host answered the folder query,
// followed directly by a relative path that begins "plugins\Vardel\". No
// separator is inserted, so the host's folder text is expected to end with "\";
// an empty folder leaves relative paths for the platform to resolve.
#pragma once

#include <string>
#include <string_view>

namespace vardel::files {

// The host's folder, as the last folder query answered it.
const std::string& HostFolder();
void SetHostFolder(std::string_view folder);
// Empties the folder and gives its storage back (library unload).
void ReleaseHostFolder();

// HostFolder followed directly by "plugins\Vardel\Vardel2.ini"; never cut.
std::string SiteListPath();

// True when a site's name (already blank-trimmed) can name its feed copy: a name
// with a path separator ("\" or "/") or ".." could name a file outside the
// plug-in's folder, so such a site keeps no copy.
bool IsFeedCopyName(std::string_view trimmedSiteName);

// HostFolder + "plugins\Vardel\" + the site's name (already blank-trimmed) + ".xml";
// empty for a name that IsFeedCopyName refuses.
std::string FeedCopyPath(std::string_view trimmedSiteName);

}  // namespace vardel::files
