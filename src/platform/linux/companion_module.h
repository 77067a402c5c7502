// Companion modules: the parts of the Linux layer that pull in large libraries
// (libcurl and its TLS stack for HTTP, ncurses for the terminal dialogs) live in
// shared objects of their own beside the plug-in and are opened on first use, so
// a news cycle that needs neither loads neither.
//
// A module is looked up in the folder of the object that holds this code (the
// plug-in, or a test program linked with the layer), then in the build folder
// the modules were built into. A module that is missing or cannot be loaded
// gives null; the feature it serves is then unavailable, never a crash.
#pragma once

#include <string>

namespace vardel::platform::linux_layer {

// The loaded module of that file name ("Vardel2-http.so"), opened once per
// process and kept open; null when it cannot be had (the reason in error, when
// given).
void* OpenCompanionModule(const char* fileName, std::string* error = nullptr);

// The address of a symbol of a module OpenCompanionModule returned; null when
// it has none.
void* CompanionSymbol(void* module, const char* name);

}  // namespace vardel::platform::linux_layer
