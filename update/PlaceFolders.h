#pragma once

#include <string>
#include <vector>

namespace PlaceFolders {

// The folders from a base folder (ending with "\") down to the one holding the target, the base
// first, each without its final "\" (a drive root keeps it). Empty when the target does not lie
// below the base.
std::vector<std::wstring> DownTo(const std::wstring& base, const std::wstring& target);

bool IsDriveRoot(const std::wstring& folder);

}  // namespace PlaceFolders
