#include "update/PreparedInstallFolder.h"

#include <windows.h>

#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/PreparedFolderRule.h"
#include "framework/win32/FolderSecurity.h"
#include "update/UpdateWorkPaths.h"

bool InPreparedInstallFolder(const std::wstring& path) {
    // A path has at most one folder per separator above it.
    for (std::wstring folder = PathText::FolderPart(path); folder.size() > 3;
         folder = PathText::FolderPart(folder)) {
        if (!FileSystem::IsExistingFolder(UpdateWorkPaths::WorkFolder(folder))) continue;
        DWORD error = ERROR_SUCCESS;
        const auto facts = FolderSecurity::ReadFolderFacts(folder, error);
        return facts && PreparedFolderRule::IsPrepared(*facts);
    }
    return false;
}
