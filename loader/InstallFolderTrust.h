#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "framework/FolderTrustRule.h"

// An install folder made where it is missing and judged before anything is updated from it or
// started out of it: the drive root (for the machine's folder), every folder below it down to
// it, and its work folder.
struct InstallFolderCheck {
    enum class Outcome { Trusted, CreationFailed, Unreadable, Untrusted };
    Outcome outcome = Outcome::Trusted;
    std::wstring folder;  // the folder that failed
    DWORD error = ERROR_SUCCESS;
    std::wstring ownerSid;
    FolderTrustRule::Judgement judgement;
};

// Judges the folders InstallFolderChoice::FoldersToJudge names for installFolder and top, top
// down, for the user of userSid; a missing one is made with shape (none: inherited) only when
// those above it were trusted.
InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder, const std::wstring& top,
                                      PSECURITY_DESCRIPTOR shape, const std::wstring& userSid);
// The same for the machine's folder shape (FolderSecurity::OwnFolderDescriptor), from below the
// drive root, for the current user.
InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder);

// The one place a launch's install folder is decided (InstallFolderChoice): this machine's
// folder when it serves this user, otherwise the user's own, made private and judged from the
// profile down. One log line names the folder and why. When neither serves, one box and one log
// line say which folders and why, and nothing is returned.
std::optional<std::wstring> ChooseInstallFolder();
