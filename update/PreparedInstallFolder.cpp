#include "update/PreparedInstallFolder.h"

#include <windows.h>

#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/PreparedFolderRule.h"
#include "framework/win32/FolderSecurity.h"
#include "update/UpdateWorkPaths.h"

namespace {

bool HoldsWorkFolder(const std::wstring& folder) {
    return FileSystem::IsExistingFolder(UpdateWorkPaths::WorkFolder(folder));
}

bool OwnedByAnAuthority(const std::wstring& folder) {
    DWORD error = ERROR_SUCCESS;
    const auto facts = FolderSecurity::ReadFolderFacts(folder, error);
    return facts && PreparedFolderRule::IsPrepared(*facts);
}

// "C:", "C:\" and the like: above every install folder.
bool IsDriveRootText(const std::wstring& folder) { return folder.size() <= 3; }

}  // namespace

bool IsPreparedInstallFolder(const std::wstring& folder) {
    return !IsDriveRootText(folder) && HoldsWorkFolder(folder) && OwnedByAnAuthority(folder);
}

bool InPreparedInstallFolder(const std::wstring& path) {
    // A path has at most one folder per separator above it.
    for (std::wstring folder = PathText::FolderPart(path); !IsDriveRootText(folder);
         folder = PathText::FolderPart(folder)) {
        if (HoldsWorkFolder(folder)) return OwnedByAnAuthority(folder);
    }
    return false;
}
