// The Windows platform layer's services, one object each.
#pragma once

#include "platform/services.h"

namespace vardel::feed {
class ComponentFactory;
}

namespace vardel::platform::windows_layer {

Clock& SystemClock();
ProfileStore& PrivateProfileStore();
HostLink& WindowMessageLink();
MessageBoxService& ModalMessageBox();
feed::ComponentFactory& AutomationComponents();

}  // namespace vardel::platform::windows_layer
