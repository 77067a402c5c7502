// PLACEHOLDER: replaced by the real implementation.
#include "config/instance_settings.h"
namespace vardel::config {
std::int32_t IsDLF = 0;
void LoadInstanceSettings(std::int32_t, std::string_view, std::string_view) {}
void SaveInstanceSettings(std::int32_t, std::string_view, std::string_view) {}
}
