#pragma once

#include <windows.h>

#include <string>

#include "framework/FolderTrustRule.h"

// The install folder made where it is missing and judged before anything is updated from it or
// started out of it: the drive root, every folder below it down to it, and its work folder.
struct InstallFolderCheck {
    enum class Outcome { Trusted, CreationFailed, Unreadable, Untrusted };
    Outcome outcome = Outcome::Trusted;
    std::wstring folder;  // the folder that failed
    DWORD error = ERROR_SUCCESS;
    std::wstring ownerSid;
    FolderTrustRule::Judgement judgement;
};

InstallFolderCheck CheckInstallFolder(const std::wstring& installFolder);

// CheckInstallFolder for this machine's install folder; when it is not trusted, one box and one
// log line say which folder, its owner and what to do, and false is returned.
bool InstallFolderTrusted();
