// The news cycle: what one GetNews call does for an instance.
#pragma once

#include <cstdint>

namespace vardel::plugin {

// Runs the cycle and returns the address of the instance's text.
const char* RunNewsCycle(std::int32_t instance);

}  // namespace vardel::plugin
