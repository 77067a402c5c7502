#include "support/cache_folder.h"

#ifndef _WIN32
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#endif

namespace vardel::testing {

#ifdef _WIN32

const std::string& ProgramCacheHome() {
    static const std::string none;
    return none;
}
FreshCacheHome::FreshCacheHome() = default;
FreshCacheHome::~FreshCacheHome() = default;

#else

namespace {

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

void RemoveTree(const std::string& path) {
    if (!path.empty()) nftw(path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

std::string NewTemporaryFolder(const char* pattern) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/" + pattern;
    if (!mkdtemp(path.data())) throw std::runtime_error("cannot make a temporary folder for the HTTP cache");
    return path;
}

// Made during static initialisation, before any test can fetch.
struct ProgramCache {
    std::string path = NewTemporaryFolder("vardel-test-cache-XXXXXX");
    pid_t owner = getpid();
    ProgramCache() { setenv("XDG_CACHE_HOME", path.c_str(), 1); }
    // A child that a test forked leaves the folder to its parent.
    ~ProgramCache() {
        if (getpid() == owner) RemoveTree(path);
    }
};

ProgramCache& TheProgramCache() {
    static ProgramCache cache;
    return cache;
}

[[maybe_unused]] const bool kInstalled = !TheProgramCache().path.empty();

}  // namespace

const std::string& ProgramCacheHome() { return TheProgramCache().path; }

FreshCacheHome::FreshCacheHome() {
    const char* previous = std::getenv("XDG_CACHE_HOME");
    previous_ = previous ? previous : "";
    path_ = NewTemporaryFolder("vardel-test-cache-XXXXXX");
    setenv("XDG_CACHE_HOME", path_.c_str(), 1);
}

FreshCacheHome::~FreshCacheHome() {
    if (previous_.empty())
        unsetenv("XDG_CACHE_HOME");
    else
        setenv("XDG_CACHE_HOME", previous_.c_str(), 1);
    RemoveTree(path_);
}

#endif

}  // namespace vardel::testing
