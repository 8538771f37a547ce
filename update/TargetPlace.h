#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a manifest entry's file may go: the one rule the check, the commit and recovery apply.
// A file goes below its base folder, and the base is the install folder or the folder of a
// FolderType the build allows (PELKO_ALLOWED_FOLDER_TYPES), never the update's work folder.
namespace TargetPlace {

struct Place {
    std::wstring base;    // ends with "\"
    std::wstring target;  // the base followed by plain names joined by "\"
};

// The FolderType values this build allows besides the install folder's 0.
const std::vector<int>& AllowedFolderTypes();

// Why the file may not be written at the place; nothing when it may. The base must be a local
// folder that is the install folder or an allowed type's folder, the target written as the base
// followed by plain names, which the platform resolves to a place below the base and outside
// the install folder's work folder.
std::optional<std::wstring> Refusal(const Place& place, std::wstring_view installFolder);

// The place of a manifest entry, judged by Refusal; nothing, with the line "Manifest entry
// [name] skipped: …" on the debug output, when its file may not go there.
std::optional<Place> OfEntry(int folderType, std::wstring_view targetDir, std::wstring_view name,
                             std::wstring_view installFolder);

}  // namespace TargetPlace
