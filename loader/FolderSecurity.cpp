#include "loader/FolderSecurity.h"

#include <sddl.h>

#include <vector>

#include "framework/PathText.h"
#include "loader/InstallFolderRule.h"

namespace FolderSecurity {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using TokenHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

std::optional<std::wstring> CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const TokenHandle token(raw);
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
    const std::wstring trial = PathText::AppendBackslash(folder) + L"~pelko-write-check.tmp";
    const HANDLE file = CreateFileW(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace FolderSecurity
