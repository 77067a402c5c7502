// Fuzzes the four HTML text filters: none may crash or read out of bounds, and
// each gives exactly what its plain pass-by-pass version gives, in Windows-1252
// or, for inputs whose first byte is odd, in UTF-8 (where decoded characters take
// two bytes, and a well-formed text stays well-formed).
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool utf8 = size > 0 && (data[0] & 1);
    const text::ScopedAnsiCodePage page(utf8 ? text::CodePage::Utf8() : text::CodePage::Windows1252());
    Same(feed::StripTags(text), testing::reference::StripTags(text));
    Same(feed::RemoveLineFeeds(text), testing::reference::RemoveLineFeeds(text));
    const std::string numeric = feed::DecodeNumericReferences(text);
    Same(numeric, testing::reference::DecodeNumericReferences(text));
    Same(feed::DecodeNamedEntities(text), testing::reference::DecodeNamedEntities(text));
    if (utf8 && WellFormed(text)) {
        if (!WellFormed(feed::DecodeNamedEntities(numeric))) std::abort();
        if (!WellFormed(feed::StripTags(text))) std::abort();
    }
    return 0;
}
