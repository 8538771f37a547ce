#include <windows.h>

namespace {
HINSTANCE g_module = nullptr;
}

HINSTANCE PelkoModuleInstance() { return g_module; }

// Thread notifications stay on: the static run time cleans up per-thread data through them.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}
