// The library's unload work, called by each platform's library entry point.
#pragma once

namespace vardel::plugin {

// Everything a library unload releases: the current document, the site table,
// both instance tables, the counter, the host window and folder.
void ReleaseAll();

}  // namespace vardel::plugin
