// PLACEHOLDER: replaced by the real implementation.
#include "feed/filters.h"
namespace vardel::feed {
std::string StripTags(std::string_view t) { return std::string(t); }
std::string RemoveLineFeeds(std::string_view t) { return std::string(t); }
std::string DecodeNumericReferences(std::string_view t) { return std::string(t); }
std::string DecodeNamedEntities(std::string_view t) { return std::string(t); }
}
