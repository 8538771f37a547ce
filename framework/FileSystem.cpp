#include "framework/FileSystem.h"

namespace FileSystem {

namespace {

// What a file system takes for one name.
constexpr size_t longestName = 255;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool FitsPathLimit(const std::wstring& path, bool folder) {
    if (PathLength(path) > LongestPath(path, folder)) return false;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        if (PathLength(path.substr(start, i - start)) > longestName) return false;
        start = i + 1;
    }
    return true;
}

}  // namespace FileSystem
