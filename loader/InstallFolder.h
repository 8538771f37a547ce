#pragma once

#include <string>

// The install folder on this machine, always ending in "\", computed from the drives.
std::wstring InstallFolderPath();

// InstallFolderPath, created when missing: each folder it makes is owned by the user and has
// the access list FolderTrustRule::OwnFolderSddl. Whether it may be trusted is
// InstallFolderTrusted's to say.
std::wstring GetInstallFolder();

// Creates every folder along an absolute path; creation failures (usually: it exists) are
// ignored. Returns false, creating nothing, for a path longer than
// InstallFolderRule::kMaxFolderPath.
bool CreateFolderPath(const std::wstring& path);
