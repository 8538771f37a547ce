#include "update/TargetPath.h"

#include <shlobj.h>
#include <windows.h>

#include <memory>

#include "framework/PathText.h"
#include "update/EntryPathRule.h"
#include "update/ManifestPaths.h"

namespace {

using ManifestPaths::BaseFolderKind;

constexpr UINT kFolderChars = MAX_PATH;

// A folder from one of the Get...DirectoryW/GetTempPathW calls; empty when it fails or is cut.
template <typename Query>
std::wstring QueryFolder(Query query) {
    wchar_t buffer[kFolderChars] = {};
    const UINT length = query(buffer);
    return length > 0 && length < kFolderChars ? std::wstring(buffer, length) : std::wstring();
}

std::wstring WindowsFolder() {
    return QueryFolder([](wchar_t* b) { return GetWindowsDirectoryW(b, kFolderChars); });
}

struct ItemIdListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

std::wstring ShellFolder(int csidl) {
    ITEMIDLIST* raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &raw))) return std::wstring();
    const std::unique_ptr<ITEMIDLIST, ItemIdListFree> list(raw);
    wchar_t path[MAX_PATH] = {};
    return SHGetPathFromIDListW(list.get(), path) ? std::wstring(path) : std::wstring();
}

}  // namespace

std::wstring ResolveBaseFolder(int folderType, std::wstring_view installFolder) {
    switch (ManifestPaths::BaseFolderKindOf(folderType)) {
        case BaseFolderKind::Install:
            return std::wstring(installFolder);
        case BaseFolderKind::Windows:
            return WindowsFolder();
        case BaseFolderKind::System:
            return QueryFolder([](wchar_t* b) { return GetSystemDirectoryW(b, kFolderChars); });
        case BaseFolderKind::ProgramFiles:
            return ManifestPaths::ProgramFilesFolder(WindowsFolder());
        case BaseFolderKind::Temp:
            return QueryFolder(
                [](wchar_t* b) { return static_cast<UINT>(GetTempPathW(kFolderChars, b)); });
        case BaseFolderKind::Shell:
            return ShellFolder(folderType);
        case BaseFolderKind::Drive:
            break;
    }
    return ManifestPaths::DriveFolder(folderType);
}

std::wstring ResolveTargetPath(int folderType, std::wstring_view targetDir, std::wstring_view name,
                               std::wstring_view installFolder) {
    return ManifestPaths::ComposeTargetPath(ResolveBaseFolder(folderType, installFolder), targetDir,
                                            name);
}

std::optional<std::wstring> FullPathOf(const std::wstring& path) {
    if (path.empty()) return std::nullopt;
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
        std::wstring full(size, L'\0');
        const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (length > 0 && length < size) {
            full.resize(length);
            return full;
        }
        size = length;
    }
    return std::nullopt;
}

bool IsInsideFolder(const std::wstring& folder, const std::wstring& path) {
    const auto fullFolder = FullPathOf(PathText::AppendBackslash(folder));
    const auto fullPath = FullPathOf(path);
    return fullFolder && fullPath && EntryPathRule::IsLocalBase(*fullFolder) &&
           EntryPathRule::LiesInside(*fullFolder, *fullPath);
}
