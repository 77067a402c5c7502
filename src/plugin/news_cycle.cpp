// PLACEHOLDER: replaced by the real implementation.
#include "plugin/news_cycle.h"
#include "plugin/instances.h"
namespace vardel::plugin {
const char* RunNewsCycle(std::int32_t instance) {
    static const char empty[1] = "";
    if (!IsOpenInstance(instance)) return empty;
    return StateOf(instance).Text.CStr();
}
}
