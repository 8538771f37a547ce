#include "loader/InstallFolder.h"

#include <windows.h>

#include "loader/InstallFolderRule.h"

std::wstring GetInstallFolder() {
    wchar_t systemDirectory[MAX_PATH] = {};
    GetSystemDirectoryW(systemDirectory, MAX_PATH);
    const std::wstring folder = InstallFolderRule::InstallFolderFor(
        GetLogicalDrives(), [](const std::wstring& root) { return GetDriveTypeW(root.c_str()); },
        systemDirectory);
    CreateFolderPath(folder);
    return folder;
}

bool CreateFolderPath(const std::wstring& path) {
    const auto folders = InstallFolderRule::FoldersAlong(path);
    for (const auto& folder : folders) CreateDirectoryW(folder.c_str(), nullptr);
    return !folders.empty();
}
