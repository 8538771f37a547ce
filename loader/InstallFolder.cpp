#include "loader/InstallFolder.h"

#include <windows.h>

#include "loader/FolderSecurity.h"
#include "loader/InstallFolderRule.h"

namespace {

// Folders made here get the protected access list: what inherits the drive's rights lets
// every user change it.
bool CreateFolders(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    const auto folders = InstallFolderRule::FoldersAlong(path);
    for (const auto& folder : folders)
        CreateDirectoryW(folder.c_str(), descriptor ? &attributes : nullptr);
    return !folders.empty();
}

}  // namespace

std::wstring GetInstallFolder() {
    wchar_t systemDirectory[MAX_PATH] = {};
    GetSystemDirectoryW(systemDirectory, MAX_PATH);
    const std::wstring folder = InstallFolderRule::InstallFolderFor(
        GetLogicalDrives(), [](const std::wstring& root) { return GetDriveTypeW(root.c_str()); },
        systemDirectory);
    const FolderSecurity::LocalDescriptor descriptor = FolderSecurity::ProtectedFolderDescriptor();
    CreateFolders(folder, descriptor.get());
    return folder;
}

bool CreateFolderPath(const std::wstring& path) { return CreateFolders(path, nullptr); }
