// A COM-server stand-in for registration tests. Each DllRegisterServer call appends one line to
// "<this DLL's path>.log" telling whether OLE was already initialised on the calling thread,
// then returns PELKO_REGISTER_RESULT. Built without the entry point when PELKO_NO_ENTRY_POINT
// is defined.
#include <objbase.h>
#include <windows.h>

namespace {

HMODULE g_module = nullptr;

bool OleAlreadyInitialised() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) CoUninitialize();
    return result == S_FALSE;
}

[[maybe_unused]] void AppendCallLine() {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatW(path, L".log");
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const char* line = OleAlreadyInitialised() ? "register ole=1\n" : "register ole=0\n";
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

#ifndef PELKO_NO_ENTRY_POINT
extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    AppendCallLine();
    return PELKO_REGISTER_RESULT;
}
#endif
