#pragma once

#include <string>

// The install folder on this machine, always ending in "\", computed from the drives.
std::wstring InstallFolderPath();

// The user's own install folder, %LOCALAPPDATA%\Corvane\Pelko\, for a user whom the machine's
// folder cannot serve; empty when the user has no local application data folder.
std::wstring OwnInstallFolderPath();

// InstallFolderPath, created when missing: each folder it makes is owned by the user and has
// the access list FolderTrustRule::OwnFolderSddl. Whether it may be trusted is
// ChooseInstallFolder's to say.
std::wstring GetInstallFolder();

// Creates every folder along an absolute path; creation failures (usually: it exists) are
// ignored. Returns false, creating nothing, for a path longer than
// InstallFolderRule::kMaxFolderPath.
bool CreateFolderPath(const std::wstring& path);
