#include "update/RegisterServer.h"

#include <ole2.h>
#include <windows.h>

#include <string>

#include "framework/FolderTrustRule.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "update/CHeldFile.h"
#include "update/ManifestPaths.h"
#include "update/PreparedInstallFolder.h"

namespace {

// Uninitialises only what it initialised: on a thread already in the multithreaded apartment
// the initialisation fails, and uninitialising anyway would undo the caller's own.
class OleScope {
public:
    OleScope() : m_initialised(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleScope() {
        if (m_initialised) OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool m_initialised;
};

// The DLL's imports come from its own folder and the system folder only: never from the host
// program's folder, the current folder or PATH, where others may have put a DLL of that name.
// Where the system has no such search (Windows 7 without its update), the altered search of a
// full path starts in the DLL's folder all the same.
HMODULE LoadSafely(const wchar_t* path) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const bool searchFlags =
        kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
    return searchFlags ? LoadLibraryExW(path, nullptr,
                                        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR |
                                            LOAD_LIBRARY_SEARCH_SYSTEM32)
                       : LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

class LoadedLibrary {
public:
    explicit LoadedLibrary(const wchar_t* path) : m_module(LoadSafely(path)) {}
    ~LoadedLibrary() {
        if (Loaded()) FreeLibrary(m_module);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Old loaders returned error numbers below 32 in place of a handle.
    bool Loaded() const { return reinterpret_cast<UINT_PTR>(m_module) >= 32; }
    HMODULE Module() const { return m_module; }

private:
    HMODULE m_module;
};

// Entry-point names are looked up in the thread's ANSI code page.
std::string AnsiText(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(size) - 1);
    return narrow;
}

// Judged through the held handle, as a file that is run.
bool OnlyTrustedMayChange(const CHeldFile& held, const wchar_t* dllPath) {
    DWORD error = ERROR_SUCCESS;
    const auto facts = FolderSecurity::FactsOfOpen(held.Handle(), error);
    const auto user = FolderSecurity::CurrentUserSid();
    return facts && user &&
           FolderTrustRule::JudgeFile(*facts, *user, InPreparedInstallFolder(dllPath)).finding ==
               FolderTrustRule::Finding::Trusted;
}

}  // namespace

bool RegisterServer(const wchar_t* dllPath, const wchar_t* entryPoint,
                    const std::wstring& expectedSha256) {
    if (!dllPath || !entryPoint) return false;
    try {
        // Nobody replaces or renames the file between its open here and the end of its call.
        const CHeldFile held(dllPath, CHeldFile::Use::Read);
        if (!held.IsOpen()) {
            DebugOutput::DebugFormat(L"RegisterServer, cannot open %s, error %lu\n", dllPath,
                                     GetLastError());
            return false;
        }
        if (!expectedSha256.empty() && held.Sha256Hex() != expectedSha256) {
            DebugOutput::DebugFormat(L"RegisterServer, not registered again: %s is not the file "
                                     L"the signed manifest names\n",
                                     dllPath);
            return false;
        }
        // A DLL another user may change would run that user's code in this process.
        if (!OnlyTrustedMayChange(held, dllPath)) {
            DebugOutput::DebugFormat(L"RegisterServer, not registered: %s may be changed by "
                                     L"another user\n",
                                     dllPath);
            return false;
        }
        const OleScope ole;
        const LoadedLibrary library(dllPath);
        if (!library.Loaded()) {
            DebugOutput::DebugFormat(L"RegisterServer, cannot load %s, error %lu\n", dllPath,
                                     GetLastError());
            return false;
        }
        using EntryPoint = HRESULT(STDAPICALLTYPE*)();
        const auto call = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(
            GetProcAddress(library.Module(), AnsiText(entryPoint).c_str())));
        const HRESULT result = call ? call() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        DebugOutput::DebugFormat(L"RegisterServer, %s of %s: 0x%08lx\n", entryPoint, dllPath,
                                 static_cast<unsigned long>(result));
        return SUCCEEDED(result);
    } catch (...) {
        return false;
    }
}

bool RegisterIfDll(const wchar_t* path) {
    if (path && ManifestPaths::HasDllExtension(path))
        (void)RegisterServer(path, L"DllRegisterServer");
    return true;
}
