#include "support/platform_check.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vardel::testing {

bool RunningUnderWine() {
#ifdef _WIN32
    static const bool underWine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return underWine;
#else
    return false;
#endif
}

}  // namespace vardel::testing
