#pragma once

#include <optional>
#include <string>
#include <string_view>

// Base folder of a manifest FolderType. Type 0 is the install folder, which the caller supplies;
// a special folder the shell has no path for gives empty text.
std::wstring ResolveBaseFolder(int folderType, std::wstring_view installFolder);

// Local path of a manifest entry: base folder, targetDir and name.
std::wstring ResolveTargetPath(int folderType, std::wstring_view targetDir, std::wstring_view name,
                               std::wstring_view installFolder);

// The full path the platform makes of a path (GetFullPathNameW); nothing when it cannot.
std::optional<std::wstring> FullPathOf(const std::wstring& path);

// True when the platform resolves path to a place below folder.
bool IsInsideFolder(const std::wstring& folder, const std::wstring& path);
