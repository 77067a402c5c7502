// PLACEHOLDER: replaced by the real implementation.
#include "platform/windows/windows_layer.h"
namespace vardel::platform::windows_layer {
namespace {
class Placeholder final : public ProfileStore {
public:
    std::string ReadString(std::string_view, std::string_view, std::string_view d, std::size_t, std::string_view) override { return std::string(d); }
    std::vector<std::string> ReadSection(std::string_view, std::string_view) override { return {}; }
    bool WriteString(std::string_view, std::string_view, std::string_view, std::string_view) override { return false; }
    bool WriteSection(std::string_view, const std::vector<std::string>&, std::string_view) override { return false; }
};
}
ProfileStore& PrivateProfileStore() { static Placeholder p; return p; }
}
