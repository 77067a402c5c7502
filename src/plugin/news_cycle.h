// The news cycle: what one GetNews call does for an instance.
#pragma once

#include <cstdint>
#include <string_view>

namespace vardel::plugin {

// Runs the cycle and returns the address of the instance's text.
const char* RunNewsCycle(std::int32_t instance);

// The extraction step for an open instance: its text from its site's feed
// document by the given template and key node, stored as its Text. Numbers never
// handed out are left alone.
void ExtractInstanceText(std::int32_t instance, std::string_view templateText, std::string_view keyNode);

}  // namespace vardel::plugin
