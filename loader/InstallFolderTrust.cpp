#include "loader/InstallFolderTrust.h"

#include "framework/SystemError.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UserFolders.h"
#include "framework/win32/UserMessage.h"
#include "loader/InstallFolder.h"
#include "loader/InstallFolderChoice.h"
#include "loader/InstallFolderRule.h"
#include "loader/LoaderTexts.h"
#include "update/UpdateWorkPaths.h"

namespace {

using Outcome = InstallFolderCheck::Outcome;
using DebugOutput::DebugFormat;

InstallFolderCheck Failure(Outcome outcome, const std::wstring& folder, DWORD error) {
    InstallFolderCheck check;
    check.outcome = outcome;
    check.folder = folder;
    check.error = error;
    return check;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

InstallFolderCheck Judged(const std::wstring& folder, const FolderTrustRule::FolderFacts& facts,
                          const FolderTrustRule::Judgement& judgement) {
    InstallFolderCheck check;
    check.folder = folder;
    check.ownerSid = facts.ownerSid;
    check.judgement = judgement;
    if (judgement.finding != FolderTrustRule::Finding::Trusted) check.outcome = Outcome::Untrusted;
    return check;
}

// The install folder with its work folder, when there is one.
InstallFolderCheck JudgeWithWorkFolder(const std::wstring& installFolder,
                                       const FolderTrustRule::FolderFacts& install,
                                       const std::wstring& userSid) {
    const std::wstring work = UpdateWorkPaths::WorkFolder(installFolder);
    const std::wstring plainWork = work.substr(0, work.find_last_not_of(L"\\/") + 1);
    const InstallFolderCheck alone =
        Judged(installFolder, install, FolderTrustRule::Judge(install, userSid));
    if (alone.outcome != Outcome::Trusted) return alone;
    DWORD error = ERROR_SUCCESS;
    const auto workFacts = FolderSecurity::ReadFolderFacts(plainWork, error);
    if (!workFacts)
        return IsMissing(error) ? alone : Failure(Outcome::Unreadable, plainWork, error);
    return Judged(plainWork, *workFacts,
                  InstallFolderChoice::JudgeInstallFolder(install, &*workFacts, userSid));
}

std::wstring Hex8(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lx", value);
    return text;
}

// Why the install folder does not serve, for the log.
std::wstring WhyNot(const std::wstring& installFolder, const InstallFolderCheck& check,
                    bool writable) {
    using FolderTrustRule::Finding;
    const std::wstring& folder = check.folder;
    switch (check.outcome) {
        case Outcome::CreationFailed:
            return folder + L" cannot be made (error " + std::to_wstring(check.error) + L")";
        case Outcome::Unreadable:
            return L"the security of " + folder + L" cannot be read (error " +
                   std::to_wstring(check.error) + L")";
        case Outcome::Trusted:
            return writable ? std::wstring() : L"this user may not change " + installFolder;
        case Outcome::Untrusted:
            break;
    }
    switch (check.judgement.finding) {
        case Finding::NotAFolder:
            return folder + L" is not a folder";
        case Finding::NotAFile:
            return folder + L" is not a file";
        case Finding::ReparsePoint:
            return folder + L" is a link";
        case Finding::OtherOwner:
            return folder + L" is owned by " + FolderSecurity::AccountName(check.ownerSid);
        case Finding::NoAccessList:
            return folder + L" has no access list";
        case Finding::OthersMayChange:
            return folder + L" may be changed by " +
                   FolderSecurity::AccountName(check.judgement.principal) + L" (rights " +
                   Hex8(check.judgement.rights) + L")";
        case Finding::Trusted:
            break;
    }
    return {};
}

// The box's line on the machine's folder.
std::wstring SharedFolderLine(const std::wstring& folder, const InstallFolderCheck& check) {
    using State = LoaderTexts::SharedFolderState;
    const State state = check.outcome == Outcome::CreationFailed ? State::CannotBeMade
                        : check.outcome == Outcome::Unreadable   ? State::Unreadable
                        : check.outcome == Outcome::Trusted      ? State::NotWritable
                                                                 : State::Untrusted;
    return LoaderTexts::SharedFolderText(folder, state, check.judgement.finding,
                                         FolderSecurity::AccountName(check.judgement.principal));
}

// One box and one log line on the user's own folder, with a line on the machine's.
void Report(const InstallFolderCheck& check, const std::wstring& sharedLine) {
    const std::wstring owner = FolderSecurity::AccountName(check.ownerSid);
    std::wstring text;
    switch (check.outcome) {
        case Outcome::CreationFailed:
            DebugFormat(
                L"CPelkoWebDLL::Launch, the folder %s cannot be made (error %lu): no update, "
                L"the loader is not started\n",
                check.folder.c_str(), check.error);
            text = LoaderTexts::FolderCreationFailureText(check.folder, check.error,
                                                          SystemError::Text(check.error));
            break;
        case Outcome::Unreadable:
            DebugFormat(
                L"CPelkoWebDLL::Launch, the security of %s cannot be read (error %lu): no "
                L"update, the loader is not started\n",
                check.folder.c_str(), check.error);
            text = LoaderTexts::UnreadableFolderText(check.folder, check.error,
                                                     SystemError::Text(check.error));
            break;
        default: {
            const std::wstring principal = FolderSecurity::AccountName(check.judgement.principal);
            DebugFormat(
                L"CPelkoWebDLL::Launch, untrusted folder %s (owner %s, finding %d, may be "
                L"changed by %s with rights 0x%08lx): no update, the loader is not started\n",
                check.folder.c_str(), owner.c_str(), static_cast<int>(check.judgement.finding),
                principal.c_str(), static_cast<unsigned long>(check.judgement.rights));
            text = LoaderTexts::UntrustedFolderText(check.folder, owner, check.judgement.finding,
                                                    principal);
            break;
        }
    }
    UserMessage::ShowMessageBox(nullptr, text + L"\r\n" + sharedLine, LoaderTexts::kErrorCaption,
                                MB_OK | MB_ICONERROR);
}

}  // namespace

InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder, const std::wstring& top,
                                      PSECURITY_DESCRIPTOR shape, const std::wstring& userSid) {
    const std::vector<std::wstring> folders =
        InstallFolderChoice::FoldersToJudge(installFolder, top);
    if (folders.empty()) return Failure(Outcome::CreationFailed, installFolder, ERROR_BAD_PATHNAME);
    // Whoever may rename what lies in the drive root may put another tree in the judged one's
    // place. The user's own folder is judged from the profile down instead.
    if (top.empty()) {
        const std::wstring root = InstallFolderRule::DriveRootOf(installFolder);
        if (!root.empty()) {
            DWORD error = ERROR_SUCCESS;
            const auto facts = FolderSecurity::ReadFolderFacts(root, error);
            if (!facts) return Failure(Outcome::Unreadable, root, error);
            const InstallFolderCheck check =
                Judged(root, *facts, FolderTrustRule::JudgeDriveRoot(*facts, userSid));
            if (check.outcome != Outcome::Trusted) return check;
        }
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::wstring& folder = folders[i];
        // Made with its shape where missing; what is there already is judged as it is.
        const DWORD made = FolderSecurity::CreateFolder(folder, shape);
        if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
            return Failure(Outcome::CreationFailed, folder, made);
        DWORD error = ERROR_SUCCESS;
        const auto facts = FolderSecurity::ReadFolderFacts(folder, error);
        if (!facts) return Failure(Outcome::Unreadable, folder, error);
        // The work folder is made by the update run; one that is there already is judged too.
        const InstallFolderCheck check =
            i + 1 == folders.size()
                ? JudgeWithWorkFolder(folder, *facts, userSid)
                : Judged(folder, *facts, FolderTrustRule::Judge(*facts, userSid));
        if (check.outcome != Outcome::Trusted) return check;
    }
    return {};
}

InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder) {
    const FolderSecurity::LocalDescriptor shape = FolderSecurity::OwnFolderDescriptor();
    return CheckInstallFolder(installFolder, {}, shape.get(),
                              FolderSecurity::CurrentUserSid().value_or(L""));
}

std::optional<std::wstring> ChooseInstallFolder() {
    using InstallFolderChoice::Use;
    const std::wstring user = FolderSecurity::CurrentUserSid().value_or(L"");
    const std::wstring shared = InstallFolderPath();
    const FolderSecurity::LocalDescriptor sharedShape = FolderSecurity::OwnFolderDescriptor();
    const InstallFolderCheck sharedCheck = CheckInstallFolder(shared, {}, sharedShape.get(), user);
    const bool sharedTrusted = sharedCheck.outcome == Outcome::Trusted;
    const bool sharedWritable = sharedTrusted && FolderSecurity::CanCreateFilesIn(shared);
    if (InstallFolderChoice::Choose(sharedTrusted, sharedWritable, false) == Use::Shared) {
        DebugFormat(
            L"CPelkoWebDLL::Launch, install folder %s: the machine's, trusted and writable "
            L"for this user\n",
            shared.c_str());
        return shared;
    }
    // Nothing else of the machine's folder is read, and nothing there is changed.
    const std::wstring own = OwnInstallFolderPath();
    const FolderSecurity::LocalDescriptor ownShape = FolderSecurity::PrivateDescriptor();
    const InstallFolderCheck ownCheck =
        own.empty() ? Failure(Outcome::CreationFailed, L"%LOCALAPPDATA%", ERROR_PATH_NOT_FOUND)
                    : CheckInstallFolder(own, UserFolders::Profile(), ownShape.get(), user);
    const Use use = InstallFolderChoice::Choose(sharedTrusted, sharedWritable,
                                                ownCheck.outcome == Outcome::Trusted);
    if (use == Use::Own) {
        DebugFormat(L"CPelkoWebDLL::Launch, install folder %s: the user's own, as %s\n",
                    own.c_str(), WhyNot(shared, sharedCheck, sharedWritable).c_str());
        return own;
    }
    Report(ownCheck, SharedFolderLine(shared, sharedCheck));
    return std::nullopt;
}
