#pragma once

#include <string>

// The install folder on this machine, always ending in "\"; created when missing, with a
// protected access list (InstallFolderRule::ProtectedFolderSddl) on each folder it creates.
std::wstring GetInstallFolder();

// Creates every folder along an absolute path; creation failures (usually: it exists) are
// ignored. Returns false, creating nothing, for a path longer than
// InstallFolderRule::kMaxFolderPath.
bool CreateFolderPath(const std::wstring& path);
