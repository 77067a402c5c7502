// The Windows platform layer's services, one object each.
#pragma once

#include "platform/dialogs.h"
#include "platform/services.h"

namespace vardel::platform::windows_layer {

Clock& SystemClock();
ProfileStore& PrivateProfileStore();
HostLink& WindowMessageLink();
MessageBoxService& ModalMessageBox();
platform::ComponentFactory& AutomationComponents();
DialogService& DialogBoxService();

}  // namespace vardel::platform::windows_layer
