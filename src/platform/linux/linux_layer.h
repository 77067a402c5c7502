// The Linux platform layer's services, one object each.
#pragma once

#include <string>
#include <string_view>

#include "platform/services.h"

namespace vardel::platform::linux_layer {

Clock& SystemClock();
ProfileStore& IniProfileStore();
HostLink& HostWindowLink();
MessageBoxService& StderrMessageBox();
platform::ComponentFactory& XmlHttpComponents();

// The plug-in's paths are Windows texts ("...\plugins\Vardel\..."); on Linux they
// are opened with "/" in place of "\".
std::string NativePath(std::string_view path);

}  // namespace vardel::platform::linux_layer
