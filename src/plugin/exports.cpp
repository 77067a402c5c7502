// The eleven exported functions: the plug-in as the host sees it.
#include "vardel/vardel2.h"

#include <cstring>

#include "config/instance_settings.h"
#include "plugin/instances.h"
#include "plugin/news_cycle.h"
#include "plugin/settings_dialogs.h"

#if defined(_WIN32)
#define VARDEL_EXPORT extern "C" __declspec(dllexport)
#else
#define VARDEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace vardel;

namespace {

// The name of the function that produces an instance's text; static, so the
// address that init returns stays valid while the library is loaded.
constexpr char kNewsFunctionName[] = "GetNews";

}  // namespace

VARDEL_EXPORT int32_t VARDEL_CALL dlltype(void) { return 1; }

VARDEL_EXPORT const char* VARDEL_CALL init(void) { return kNewsFunctionName; }

VARDEL_EXPORT int32_t VARDEL_CALL dllstartup(void* host_window, int32_t /*ignored*/) {
    return plugin::StartInstance(host_window);
}

VARDEL_EXPORT int32_t VARDEL_CALL dllshutdown(int32_t instance) {
    plugin::ShutdownInstance(instance);
    return 0;
}

VARDEL_EXPORT int32_t VARDEL_CALL getparam(int32_t /*ignored*/) { return 0; }

VARDEL_EXPORT int32_t VARDEL_CALL pastemeter(int32_t source, int32_t destination) {
    plugin::PasteSettings(source, destination);
    return 0;
}

VARDEL_EXPORT int32_t VARDEL_CALL configure(void) {
    plugin::ConfigurePlugin();
    return 0;
}

VARDEL_EXPORT int32_t VARDEL_CALL source_configure(int32_t instance, const char* function_name) {
    if (!plugin::IsOpenInstance(instance) || !function_name) return 0;
    // Only the news function has settings: the name must match byte for byte.
    if (std::strcmp(function_name, kNewsFunctionName) != 0) return 0;
    plugin::ConfigureInstance(instance);
    return 0;
}

VARDEL_EXPORT int32_t VARDEL_CALL src_load_settings(int32_t instance, const char* file,
                                                    const char* section) {
    if (!plugin::IsOpenInstance(instance)) return 0;
    config::LoadInstanceSettings(instance, file ? file : "", section ? section : "");
    return 0;
}

VARDEL_EXPORT int32_t VARDEL_CALL src_save_settings(int32_t instance, const char* file,
                                                    const char* section) {
    if (!plugin::IsOpenInstance(instance)) return 0;
    config::SaveInstanceSettings(instance, file ? file : "", section ? section : "");
    return 0;
}

VARDEL_EXPORT const char* VARDEL_CALL GetNews(int32_t instance) {
    return plugin::RunNewsCycle(instance);
}
