// Fuzzes the four HTML text filters: none may crash or read out of bounds, and
// each gives exactly what its plain pass-by-pass version gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "feed/filters.h"
#include "support/reference_feed.h"

using namespace vardel;

namespace {

void Same(const std::string& fast, const std::string& plain) {
    if (fast != plain) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Same(feed::StripTags(text), testing::reference::StripTags(text));
    Same(feed::RemoveLineFeeds(text), testing::reference::RemoveLineFeeds(text));
    Same(feed::DecodeNumericReferences(text), testing::reference::DecodeNumericReferences(text));
    Same(feed::DecodeNamedEntities(text), testing::reference::DecodeNamedEntities(text));
    return 0;
}
