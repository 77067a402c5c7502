// PLACEHOLDER: replaced by the real implementation.
#include "feed/component.h"
#include "platform/windows/windows_layer.h"
namespace vardel::platform::windows_layer {
namespace {
class Placeholder final : public feed::ComponentFactory {
public:
    feed::DocumentRef CreateXmlDocument() override { return nullptr; }
    std::unique_ptr<feed::HttpRequest> CreateHttpRequest() override { return nullptr; }
};
}
feed::ComponentFactory& AutomationComponents() { static Placeholder p; return p; }
}
