// Plain, step-by-step versions of the text filters and of the extraction, as
// their definitions read: every replacement is a pass over the whole text, every
// item is looked up in the document again for every field. Slow on purpose; the
// tests and fuzzers hold the library's faster versions to the same results.
#pragma once

#include <string>
#include <string_view>

#include "config/instance_settings.h"
#include "platform/components.h"

namespace vardel::testing::reference {

// Every occurrence, left to right, without overlap; an empty search changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement);

std::string StripTags(std::string_view text);
std::string RemoveLineFeeds(std::string_view text);
// The 247 passes for the codes 9 to 255.
std::string DecodeNumericReferences(std::string_view text);
// HTML 4.01, the ISO 8859-1 character entity names from 162 (cent) to 255 (yuml).
extern const char* const kLatin1EntityNames[94];

// The 1023-character buffer, "&quot;", "&amp;", "&nbsp;", then the 94 list passes.
std::string DecodeNamedEntities(std::string_view text);

// The text ExtractFeedText stores for an instance with these settings whose site
// holds document (null: a site without a document), with the same choices where
// the library has them.
std::string ExtractFeedText(const platform::DocumentRef& document, const config::InstanceSettings& settings,
                            std::string_view templateText, std::string_view keyNode);

}  // namespace vardel::testing::reference
