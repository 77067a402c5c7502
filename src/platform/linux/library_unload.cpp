// The library's unload work on Linux: what process detach does on Windows.
#include "plugin/library_unload.h"

namespace {

__attribute__((destructor)) void ReleaseOnUnload() { vardel::plugin::ReleaseAll(); }

}  // namespace
