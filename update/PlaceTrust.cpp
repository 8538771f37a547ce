#include "update/PlaceTrust.h"

#include <windows.h>

#include <cwchar>

#include "framework/FolderTrustRule.h"
#include "framework/win32/FolderSecurity.h"
#include "update/PlaceFolders.h"
#include "update/PreparedInstallFolder.h"

namespace PlaceTrust {

namespace {

std::wstring Hex(std::uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

std::optional<std::wstring> Refusal(const std::wstring& base, const std::wstring& target) {
    const std::vector<std::wstring> folders = PlaceFolders::DownTo(base, target);
    if (folders.empty()) return L"the target " + target + L" does not lie below " + base;
    const std::wstring user = FolderSecurity::CurrentUserSid().value_or(L"");
    // Below an install folder prepared for several users, any member may have made a folder;
    // the base itself, and every other base, is judged as always.
    const bool preparedBase = IsPreparedInstallFolder(base);
    for (const std::wstring& folder : folders) {
        DWORD error = ERROR_SUCCESS;
        const auto facts = FolderSecurity::ReadFolderFacts(folder, error);
        if (!facts) {
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
            return L"the security of the folder " + folder + L" cannot be read (error " +
                   std::to_wstring(error) + L")";
        }
        const FolderTrustRule::Judgement judgement =
            PlaceFolders::IsDriveRoot(folder) ? FolderTrustRule::JudgeDriveRoot(*facts, user)
            : preparedBase && folder != folders.front()
                ? FolderTrustRule::JudgeInPreparedFolder(*facts, user, true)
                : FolderTrustRule::Judge(*facts, user);
        if (judgement.finding == FolderTrustRule::Finding::Trusted) continue;
        return L"the folder " + folder + L" may be changed by others (finding " +
               std::to_wstring(static_cast<int>(judgement.finding)) + L", " +
               (judgement.principal.empty() ? std::wstring(L"its owner") : judgement.principal) +
               L", rights " + Hex(judgement.rights) + L")";
    }
    return std::nullopt;
}

}  // namespace PlaceTrust
