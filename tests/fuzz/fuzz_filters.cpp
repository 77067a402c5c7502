// Fuzzes the four HTML text filters: none may crash or read out of bounds, and
// each gives exactly what its plain pass-by-pass version gives, in Windows-1252
// and in UTF-8 (where decoded characters take two bytes, and a well-formed text
// stays well-formed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "feed/filters.h"
#include "support/reference_feed.h"
#include "text/code_page.h"
#include "text/unicode.h"

using namespace vardel;

namespace {

void Same(const std::string& fast, const std::string& plain) {
    if (fast != plain) std::abort();
}

bool WellFormed(std::string_view s) { return text::WellFormedUtf8(s) == s; }

void Filters(std::string_view text) {
    Same(feed::StripTags(text), testing::reference::StripTags(text));
    Same(feed::RemoveLineFeeds(text), testing::reference::RemoveLineFeeds(text));
    Same(feed::DecodeNumericReferences(text), testing::reference::DecodeNumericReferences(text));
    Same(feed::DecodeNamedEntities(text), testing::reference::DecodeNamedEntities(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Filters(text);
    const text::ScopedAnsiCodePage utf8(text::CodePage::Utf8());
    Filters(text);
    if (WellFormed(text)) {
        if (!WellFormed(feed::DecodeNamedEntities(feed::DecodeNumericReferences(text)))) std::abort();
        if (!WellFormed(feed::StripTags(text))) std::abort();
    }
    return 0;
}
