// A COM-server stand-in for registration tests. Each DllRegisterServer call appends one line to
// "<this DLL's path>.log" telling whether OLE was already initialised on the calling thread,
// then returns PELKO_REGISTER_RESULT. Built without the entry point when PELKO_NO_ENTRY_POINT
// is defined. With PELKO_TRY_MOVE it first tries to rename its own file aside (and back), and
// the line tells whether that succeeded: "register moved=1" or "register moved=0". With
// PELKO_WITH_DEPENDENCY it imports a function of testreg_dep.dll, so it loads only where that
// DLL is found.
#include <objbase.h>
#include <windows.h>

#ifdef PELKO_WITH_DEPENDENCY
extern "C" __declspec(dllimport) int PelkoTestDependency();
#endif

namespace {

HMODULE g_module = nullptr;

[[maybe_unused]] bool OleAlreadyInitialised() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) CoUninitialize();
    return result == S_FALSE;
}

// Whether this DLL's file could be renamed while it is loaded; it is renamed back.
[[maybe_unused]] bool MovedItself() {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t moved[MAX_PATH + 8] = {};
    lstrcpyW(moved, path);
    lstrcatW(moved, L".mv");
    if (!MoveFileW(path, moved)) return false;
    MoveFileW(moved, path);
    return true;
}

[[maybe_unused]] const char* CallLine() {
#ifdef PELKO_TRY_MOVE
    return MovedItself() ? "register moved=1\n" : "register moved=0\n";
#else
    return OleAlreadyInitialised() ? "register ole=1\n" : "register ole=0\n";
#endif
}

[[maybe_unused]] void AppendCallLine() {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatW(path, L".log");
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const char* line = CallLine();
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
#ifdef PELKO_WITH_DEPENDENCY
    if (PelkoTestDependency() != 1) return E_UNEXPECTED;
#endif
    AppendCallLine();
    return PELKO_REGISTER_RESULT;
}
#endif
