#include "platform/services.h"

namespace vardel::platform {
namespace {

ServiceSet& Current() {
    static ServiceSet current = DefaultServices();
    return current;
}

}  // namespace

const ServiceSet& Services() { return Current(); }

ScopedServices::ScopedServices(const ServiceSet& replacement) : previous_(Current()) {
    ServiceSet next = previous_;
    if (replacement.clock) next.clock = replacement.clock;
    if (replacement.profiles) next.profiles = replacement.profiles;
    if (replacement.host) next.host = replacement.host;
    if (replacement.messageBox) next.messageBox = replacement.messageBox;
    if (replacement.components) next.components = replacement.components;
    if (replacement.dialogs) next.dialogs = replacement.dialogs;
    Current() = next;
}

ScopedServices::~ScopedServices() { Current() = previous_; }

}  // namespace vardel::platform
