// PLACEHOLDER: replaced by the real implementation.
#include "feed/retrieval.h"
namespace vardel::feed {
std::string FeedCopyPath(std::int32_t) { return {}; }
bool HttpFetch(std::string_view, std::int16_t) { return false; }
bool DownloadFeed(std::int16_t) { return false; }
void LoadFeedCopy(std::int32_t) {}
}
