// The Windows layer's components behind the contract.
#pragma once

#include "platform/components.h"
#include "platform/windows/dispatch.h"

namespace vardel::platform::windows_layer {

// The automation object behind a document, node or list of this layer, for
// late-bound calls the contract does not offer; null for any other object.
DispatchRef AutomationObjectOf(platform::XmlNode& node);
DispatchRef AutomationObjectOf(platform::XmlNodeList& list);

}  // namespace vardel::platform::windows_layer
