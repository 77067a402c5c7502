// PLACEHOLDER: replaced by the real implementation.
#include "feed/extraction.h"
namespace vardel::feed {
void ExtractFeedText(std::int32_t, std::string_view, std::string_view) {}
void BindFeedDocument(std::int32_t) {}
DocumentRef& CurrentDocument() { static auto& d = *new DocumentRef; return d; }
bool LooksNumeric(std::string_view) { return false; }
bool IsAlphanumeric(std::string_view) { return false; }
}
