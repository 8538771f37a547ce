#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

// The security description the install folder is created with.
namespace FolderSecurity {

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

// The SID of the user this process runs as, in text form; nothing when it cannot be read.
std::optional<std::wstring> CurrentUserSid();

// InstallFolderRule::ProtectedFolderSddl for the current user, made; null when it cannot be.
LocalDescriptor ProtectedFolderDescriptor();

// True when this process may create files and folders in the folder (asked of its access list;
// nothing is written).
bool CanCreateFilesIn(const std::wstring& folder);

}  // namespace FolderSecurity
