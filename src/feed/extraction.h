// Template-driven extraction: turns a site's feed document into an instance's text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/instance_settings.h"
#include "platform/components.h"

namespace vardel::feed {

// An instance's text keeps at most this many characters; the extraction's
// output is cut to it.
inline constexpr std::size_t kTextLength = 2047;

// The text of an instance with these settings, from its site's feed document, by
// key node, line range and template, with the instance's filters; at most
// kTextLength characters. The caller stores it as the instance's text.
std::string ExtractFeedText(const config::InstanceSettings& settings, std::string_view templateText,
                            std::string_view keyNode);

// Sets the current document to the feed document of the settings' site (empty
// when the site has none or cannot be resolved).
void BindFeedDocument(const config::InstanceSettings& settings);

// The document an extraction is reading; released at the end of each extraction
// and when the library unloads.
platform::DocumentRef& CurrentDocument();

// Not empty, and only "+", ",", "-", ".", "/", digits, "E" and "e".
bool LooksNumeric(std::string_view text);
// Only ASCII letters and digits; true for the empty text.
bool IsAlphanumeric(std::string_view text);

}  // namespace vardel::feed
