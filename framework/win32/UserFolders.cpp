#include "framework/win32/UserFolders.h"

#include <shlobj.h>
#include <windows.h>

namespace UserFolders {

namespace {

std::wstring Folder(const wchar_t* variable, int csidl) {
    wchar_t folder[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(variable, folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return folder;
    if (length == 0 && SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, folder)))
        return folder;
    return std::wstring();
}

}  // namespace

std::wstring LocalAppData() { return Folder(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA); }

std::wstring Profile() { return Folder(L"USERPROFILE", CSIDL_PROFILE); }

}  // namespace UserFolders
