#include "loader/FolderSecurity.h"

#include <sddl.h>

#include <vector>

#include "framework/PathText.h"
#include "framework/win32/UniqueHandle.h"
#include "loader/InstallFolderRule.h"

namespace FolderSecurity {

std::optional<std::wstring> CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        return std::nullopt;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(user->User.Sid, &text)) return std::nullopt;
    const LocalDescriptor owned(text);
    return std::wstring(text);
}

LocalDescriptor ProtectedFolderDescriptor() {
    const std::optional<std::wstring> sid = CurrentUserSid();
    if (!sid) return nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            InstallFolderRule::ProtectedFolderSddl(*sid).c_str(), SDDL_REVISION_1, &descriptor,
            nullptr))
        return nullptr;
    return LocalDescriptor(descriptor);
}

bool CanCreateFilesIn(const std::wstring& folder) {
    // Opening the folder for these rights asks its access list without writing anything, so a
    // launch with nothing to fetch leaves the install folder as it was.
    const HANDLE handle = CreateFileW(folder.c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

}  // namespace FolderSecurity
