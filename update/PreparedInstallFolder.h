#pragma once

#include <string>

// Install folders prepared for several users (PreparedFolderRule): there any member may have
// made what lies below, so it is judged as a member's (FolderTrustRule::JudgeInPreparedFolder).

// Whether folder, not a drive root, holds a run's work folder and is owned by one of the
// machine's authorities.
bool IsPreparedInstallFolder(const std::wstring& folder);

// Whether the nearest folder above path that holds a run's work folder is such a folder.
bool InPreparedInstallFolder(const std::wstring& path);
