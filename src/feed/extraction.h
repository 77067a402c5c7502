// Template-driven extraction: turns a site's feed document into an instance's text.
#pragma once

#include <cstdint>
#include <string_view>

#include "feed/component.h"

namespace vardel::feed {

// Builds the instance's Text from its site's feed document, by key node, line
// range and template, with the instance's filters.
void ExtractFeedText(std::int32_t instance, std::string_view templateText, std::string_view keyNode);

// Sets the current document to the feed document of the instance's site (empty
// when the site has none or cannot be resolved).
void BindFeedDocument(std::int32_t instance);

// The document an extraction is reading; released at the end of each extraction
// and when the library unloads.
DocumentRef& CurrentDocument();

// Not empty, and only "+", ",", "-", ".", "/", digits, "E" and "e".
bool LooksNumeric(std::string_view text);
// Only ASCII letters and digits; true for the empty text.
bool IsAlphanumeric(std::string_view text);

}  // namespace vardel::feed
