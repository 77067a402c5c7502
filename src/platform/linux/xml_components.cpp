// PLACEHOLDER: replaced by the real implementation.
#include "feed/component.h"
#include "platform/linux/linux_layer.h"
namespace vardel::platform::linux_layer {
namespace {
class Placeholder final : public feed::ComponentFactory {
public:
    feed::DocumentRef CreateXmlDocument() override { return nullptr; }
    std::unique_ptr<feed::HttpRequest> CreateHttpRequest() override { return nullptr; }
};
}
feed::ComponentFactory& XmlHttpComponents() { static Placeholder p; return p; }
}
