#include "loader/InstallFolderTrust.h"

#include <set>

#include "framework/SystemError.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UserMessage.h"
#include "loader/InstallFolder.h"
#include "loader/InstallFolderRule.h"
#include "loader/LoaderTexts.h"
#include "update/UpdateWorkPaths.h"

namespace {

using Outcome = InstallFolderCheck::Outcome;

std::wstring WithoutBackslash(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

// The folders to judge, from the top down, each once.
std::vector<std::wstring> FoldersToJudge(const std::wstring& installFolder) {
    std::vector<std::wstring> folders;
    std::set<std::wstring> seen;
    for (const std::wstring& folder : InstallFolderRule::FoldersAlong(installFolder)) {
        std::wstring plain = WithoutBackslash(folder);
        if (seen.insert(plain).second) folders.push_back(std::move(plain));
    }
    return folders;
}

using Rule = FolderTrustRule::Judgement (*)(const FolderTrustRule::FolderFacts&,
                                            std::wstring_view);

InstallFolderCheck Judge(const std::wstring& folder, const std::wstring& userSid,
                         bool mayBeMissing, Rule rule = &FolderTrustRule::Judge) {
    InstallFolderCheck check;
    check.folder = folder;
    const auto facts = FolderSecurity::ReadFolderFacts(folder, check.error);
    if (!facts) {
        const bool missing =
            check.error == ERROR_FILE_NOT_FOUND || check.error == ERROR_PATH_NOT_FOUND;
        check.outcome = mayBeMissing && missing ? Outcome::Trusted : Outcome::Unreadable;
        return check;
    }
    check.error = ERROR_SUCCESS;
    check.ownerSid = facts->ownerSid;
    check.judgement = rule(*facts, userSid);
    if (check.judgement.finding != FolderTrustRule::Finding::Trusted)
        check.outcome = Outcome::Untrusted;
    return check;
}

void Report(const InstallFolderCheck& check) {
    const std::wstring owner = FolderSecurity::AccountName(check.ownerSid);
    std::wstring text;
    switch (check.outcome) {
    case Outcome::CreationFailed:
        DebugOutput::DebugFormat(
            L"CPelkoWebDLL::Launch, the folder %s cannot be made (error %lu): no update, the "
            L"loader is not started\n",
            check.folder.c_str(), check.error);
        text = LoaderTexts::FolderCreationFailureText(check.folder, check.error,
                                                      SystemError::Text(check.error));
        break;
    case Outcome::Unreadable:
        DebugOutput::DebugFormat(
            L"CPelkoWebDLL::Launch, the security of %s cannot be read (error %lu): no update, "
            L"the loader is not started\n",
            check.folder.c_str(), check.error);
        text = LoaderTexts::UnreadableFolderText(check.folder, check.error,
                                                 SystemError::Text(check.error));
        break;
    default: {
        const std::wstring principal = FolderSecurity::AccountName(check.judgement.principal);
        DebugOutput::DebugFormat(
            L"CPelkoWebDLL::Launch, untrusted folder %s (owner %s, finding %d, may be changed "
            L"by %s with rights 0x%08lx): no update, the loader is not started\n",
            check.folder.c_str(), owner.c_str(), static_cast<int>(check.judgement.finding),
            principal.c_str(), static_cast<unsigned long>(check.judgement.rights));
        text = LoaderTexts::UntrustedFolderText(check.folder, owner, check.judgement.finding,
                                                principal);
        break;
    }
    }
    UserMessage::ShowMessageBox(nullptr, text, LoaderTexts::kErrorCaption,
                                MB_OK | MB_ICONERROR);
}

}  // namespace

InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder) {
    const std::optional<std::wstring> user = FolderSecurity::CurrentUserSid();
    const FolderSecurity::LocalDescriptor shape = FolderSecurity::OwnFolderDescriptor();
    const std::vector<std::wstring> folders = FoldersToJudge(installFolder);
    // Whoever may rename what lies in the root may put another tree in the judged one's place.
    const std::wstring root = InstallFolderRule::DriveRootOf(installFolder);
    if (!root.empty()) {
        InstallFolderCheck check =
            Judge(root, user.value_or(L""), false, &FolderTrustRule::JudgeDriveRoot);
        if (check.outcome != Outcome::Trusted) return check;
    }
    for (const std::wstring& folder : folders) {
        // Made with its shape where missing; what is there already is judged as it is.
        const DWORD made = FolderSecurity::CreateFolder(folder, shape.get());
        if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) {
            InstallFolderCheck check;
            check.outcome = Outcome::CreationFailed;
            check.folder = folder;
            check.error = made;
            return check;
        }
        InstallFolderCheck check = Judge(folder, user.value_or(L""), false);
        if (check.outcome != Outcome::Trusted) return check;
    }
    if (folders.empty()) return {Outcome::CreationFailed, installFolder, ERROR_BAD_PATHNAME, {}, {}};
    // The work folder is made by the update run; one that is there already is judged too.
    return Judge(WithoutBackslash(UpdateWorkPaths::WorkFolder(installFolder)), user.value_or(L""),
                 true);
}

bool InstallFolderTrusted() {
    const InstallFolderCheck check = CheckInstallFolder(InstallFolderPath());
    if (check.outcome == Outcome::Trusted) return true;
    Report(check);
    return false;
}
