#include "download/TempFolder.h"

#include <windows.h>

// After windows.h, which it builds on.
#include <shellapi.h>

#include <atomic>

namespace downloadtest {

TempFolder::TempFolder() {
    static std::atomic<int> serial{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path = std::wstring(temp) + L"pelko-download-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
    CreateDirectoryW(path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    std::wstring from = path + L'\0';  // double-terminated list of one
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

}  // namespace downloadtest
