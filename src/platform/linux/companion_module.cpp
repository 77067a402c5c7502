#include "platform/linux/companion_module.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace vardel::platform::linux_layer {
namespace {

// The folder of the shared object (or program) that holds this function, with a
// trailing "/"; empty when it cannot be told.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || !info.dli_fname) return {};
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct Opened {
    void* handle = nullptr;
    std::string error;
};

void* TryOpen(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        if (error.empty() && why) error = why;
    }
    return handle;
}

Opened Open(const char* fileName) {
    Opened opened;
    std::string folders[] = {OwnFolder(),
#ifdef VARDEL_MODULE_BUILD_DIR
                             VARDEL_MODULE_BUILD_DIR "/"
#endif
    };
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        if ((opened.handle = TryOpen(folder + fileName, opened.error))) return opened;
    }
    if (opened.error.empty()) opened.error = std::string("cannot find ") + fileName;
    return opened;
}

}  // namespace

void* OpenCompanionModule(const char* fileName, std::string* error) {
    // Modules are opened at most once: a failed attempt is not repeated on every
    // fetch.
    static std::mutex mutex;
    static auto& modules = *new std::map<std::string, Opened>;
    std::lock_guard lock(mutex);
    auto found = modules.find(fileName);
    if (found == modules.end()) found = modules.emplace(fileName, Open(fileName)).first;
    if (error) *error = found->second.error;
    return found->second.handle;
}

void* CompanionSymbol(void* module, const char* name) { return module ? dlsym(module, name) : nullptr; }

}  // namespace vardel::platform::linux_layer
