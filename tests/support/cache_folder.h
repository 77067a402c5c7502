// The HTTP cache of the Linux layer lives in the user's cache folder; test
// programs never touch it. Linking this file into a program points
// XDG_CACHE_HOME at a fresh temporary folder before main runs (removed at exit),
// so every fetch of the program caches there.
#pragma once

#include <string>

namespace vardel::testing {

// The temporary folder XDG_CACHE_HOME names for the whole program ("" on
// Windows, where the system keeps its own cache).
const std::string& ProgramCacheHome();

// Points XDG_CACHE_HOME at a new, empty folder of its own for as long as it
// lives, so a test sees no entry an earlier test left.
class FreshCacheHome {
public:
    FreshCacheHome();
    ~FreshCacheHome();
    FreshCacheHome(const FreshCacheHome&) = delete;
    FreshCacheHome& operator=(const FreshCacheHome&) = delete;

    const std::string& Path() const { return path_; }
    // The folder the layer keeps its entries in.
    std::string CacheFolder() const { return path_ + "/vardel"; }

private:
    std::string path_;
    std::string previous_;
};

}  // namespace vardel::testing
