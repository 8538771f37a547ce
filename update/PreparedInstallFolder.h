#pragma once

#include <string>

// Whether a path lies in an install folder prepared for several users (PreparedFolderRule):
// the nearest folder above it that holds a run's work folder is owned by one of the machine's
// authorities. There any member may have made what lies below, so it is judged as a member's
// (FolderTrustRule::JudgeInPreparedFolder).
bool InPreparedInstallFolder(const std::wstring& path);
