#include "update/ReplaceableTarget.h"

#include <windows.h>

#include "framework/win32/UniqueHandle.h"

bool IsReplaceableTarget(const std::wstring& target) {
    const HANDLE opened = CreateFileW(target.c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    const UniqueHandle file(opened);
    if (opened != INVALID_HANDLE_VALUE) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::optional<std::wstring> FirstBusyTarget(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& entry : entries)
        if (!IsReplaceableTarget(entry.target)) return entry.target;
    return std::nullopt;
}
