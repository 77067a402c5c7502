// The library entry notification of the Windows DLL.
#include <windows.h>

#include "plugin/library_unload.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            return TRUE;  // all globals start zeroed, both tables empty
        case DLL_PROCESS_DETACH:
            // On FreeLibrary everything is released. When the whole process is ending
            // (reserved is set) the component DLLs may already be gone, so the feed
            // documents are not released into them; the system reclaims the memory.
            if (reserved == nullptr) vardel::plugin::ReleaseAll();
            return TRUE;
        default:
            return FALSE;
    }
}
