#include "loader/InstallFolder.h"

#include <windows.h>

#include "framework/PathText.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UserFolders.h"
#include "loader/InstallFolderRule.h"

namespace {

bool CreateFolders(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
    const auto folders = InstallFolderRule::FoldersAlong(path);
    for (const auto& folder : folders) FolderSecurity::CreateFolder(folder, descriptor);
    return !folders.empty();
}

}  // namespace

std::wstring InstallFolderPath() {
    wchar_t systemDirectory[MAX_PATH] = {};
    GetSystemDirectoryW(systemDirectory, MAX_PATH);
    return InstallFolderRule::InstallFolderFor(
        GetLogicalDrives(), [](const std::wstring& root) { return GetDriveTypeW(root.c_str()); },
        systemDirectory);
}

std::wstring OwnInstallFolderPath() {
    const std::wstring appData = UserFolders::LocalAppData();
    if (appData.empty()) return appData;
    return PathText::AppendBackslash(appData) + InstallFolderRule::kProductFolder;
}

std::wstring GetInstallFolder() {
    const std::wstring folder = InstallFolderPath();
    // What inherits the drive's rights lets every user change it.
    const FolderSecurity::LocalDescriptor descriptor = FolderSecurity::OwnFolderDescriptor();
    CreateFolders(folder, descriptor.get());
    return folder;
}

bool CreateFolderPath(const std::wstring& path) { return CreateFolders(path, nullptr); }
