#include <windows.h>

namespace {
HINSTANCE g_module = nullptr;
}

HINSTANCE PelkoModuleInstance() {
    return g_module;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
