#pragma once

#include <optional>
#include <string_view>
#include <vector>

// Where a manifest entry may put its file: text rules that keep every entry inside its base
// folder, whatever the manifest says. The platform's own resolution is checked on top of
// them (TargetPlace).
namespace EntryPathRule {

// One path component that the platform keeps as it is: not empty, at most 255 characters,
// no separator, ":", wildcard, quote or control character, no trailing dot or blank (so
// neither "." nor ".."), and no device name ("CON", "nul.txt", "COM1", ...).
bool IsPlainFileName(std::wstring_view name);

// A folder below the base: plain file names joined by "\" or "/", one trailing separator
// allowed. Empty text is the base itself. No root, drive, UNC or device prefix, no "." or
// ".." part, no doubled separator.
bool IsRelativeFolder(std::wstring_view targetDir);

// A local folder path from a drive root: "X:\" and more. Empty text, a drive without its
// root ("D:"), UNC and device paths are not.
bool IsLocalBase(std::wstring_view base);

// True when the full path lies below the full folder (ASCII letters compared without case),
// and is not the folder itself.
bool LiesInside(std::wstring_view fullFolder, std::wstring_view fullPath);

// The FolderType values a build lets entries write outside the install folder: whole numbers
// other than 0 separated by ";", "," or blanks; empty text is none. Nothing for any other text.
std::optional<std::vector<int>> ParseFolderTypes(std::string_view text);

}  // namespace EntryPathRule
