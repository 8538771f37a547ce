#include "update/TargetPlace.h"

#include <windows.h>

#include <algorithm>

#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "update/EntryPathRule.h"
#include "update/JournalPathRule.h"
#include "update/ManifestPaths.h"
#include "update/TargetPath.h"
#include "update/UpdateWorkPaths.h"

namespace TargetPlace {

namespace {

bool OnNetworkDrive(const std::wstring& base) {
    return GetDriveTypeW(base.substr(0, 3).c_str()) == DRIVE_REMOTE;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return towlower(x) == towlower(y);
           });
}

bool IsAllowedBase(const std::wstring& base, std::wstring_view installFolder) {
    if (SameFolder(base, PathText::AppendBackslash(installFolder))) return true;
    for (const int type : AllowedFolderTypes())
        if (SameFolder(base, PathText::AppendBackslash(ResolveBaseFolder(type, installFolder))))
            return true;
    return false;
}

std::wstring WithBackslashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::optional<Place> Skipped(std::wstring_view name, const std::wstring& why) {
    DebugOutput::DebugLine(L"Manifest entry [" + std::wstring(name) + L"] skipped: " + why + L"\n");
    return std::nullopt;
}

}  // namespace

const std::vector<int>& AllowedFolderTypes() {
    // The build checked the list when it was configured.
    static const std::vector<int> types =
        EntryPathRule::ParseFolderTypes(PELKO_ALLOWED_FOLDER_TYPES).value_or(std::vector<int>());
    return types;
}

std::optional<std::wstring> Refusal(const Place& place, std::wstring_view installFolder) {
    const std::wstring& base = place.base;
    if (!EntryPathRule::IsLocalBase(base) || base.back() != L'\\' || OnNetworkDrive(base))
        return L"the base folder " + base + L" is no local folder";
    if (!IsAllowedBase(base, installFolder))
        return L"the base folder " + base + L" is not one this build installs into";
    if (!JournalPathRule::IsNamedBelow(base, place.target) || !IsInsideFolder(base, place.target))
        return L"the target " + place.target + L" does not lie inside its base folder " + base;
    const std::wstring work = UpdateWorkPaths::WorkFolder(PathText::AppendBackslash(installFolder));
    if (IsInsideFolder(work, place.target))
        return L"the target " + place.target + L" lies in the update's work folder";
    return std::nullopt;
}

std::optional<Place> OfEntry(int folderType, std::wstring_view targetDir, std::wstring_view name,
                             std::wstring_view installFolder) {
    if (!EntryPathRule::IsPlainFileName(name))
        return Skipped(name, L"the section name is not a plain file name");
    if (!EntryPathRule::IsRelativeFolder(targetDir))
        return Skipped(name, L"TargetDir is not a relative folder");
    if (folderType != 0 && std::find(AllowedFolderTypes().begin(), AllowedFolderTypes().end(),
                                     folderType) == AllowedFolderTypes().end())
        return Skipped(name, L"FolderType " + std::to_wstring(folderType) +
                                 L" is not one this build installs into");
    // Checked before anything asks the platform about a path below it.
    const std::wstring base =
        PathText::AppendBackslash(ResolveBaseFolder(folderType, installFolder));
    if (!EntryPathRule::IsLocalBase(base) || OnNetworkDrive(base))
        return Skipped(name, L"FolderType gives no local folder");
    Place place{base, ManifestPaths::ComposeTargetPath(
                          base, WithBackslashes(std::wstring(targetDir)), name)};
    if (auto refusal = Refusal(place, installFolder)) return Skipped(name, *refusal);
    return place;
}

}  // namespace TargetPlace
