#include "loader/InstallFolderRule.h"

#include "framework/PathText.h"

namespace InstallFolderRule {

namespace {
constexpr int kDriveLetters = 26;
}  // namespace

std::wstring InstallFolderFor(std::uint32_t presentDrives, const DriveTypeQuery& driveTypeOf,
                              std::wstring_view systemDirectory) {
    for (int drive = 0; drive < kDriveLetters; ++drive) {
        if ((presentDrives & (1u << drive)) == 0) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + drive);
        const std::wstring root{letter, L':', L'\\'};
        if (driveTypeOf(root) == kDriveFixed && letter == L'C') return root + kProductFolder;
    }
    return PathText::AppendBackslash(systemDirectory.substr(0, 2)) + kProductFolder;
}

std::vector<std::wstring> FoldersAlong(std::wstring_view path) {
    std::vector<std::wstring> folders;
    if (path.size() > kMaxFolderPath) return folders;
    for (std::size_t i = 1; i < path.size(); ++i) {
        const bool separator = path[i] == L'\\' || path[i] == L'/';
        if (separator && path[i - 1] != L':') folders.emplace_back(path.substr(0, i));
    }
    folders.emplace_back(path);
    return folders;
}

std::wstring DriveRootOf(std::wstring_view path) {
    const bool letter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                             (path[0] >= L'a' && path[0] <= L'z'));
    if (!letter || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return {};
    return std::wstring(path.substr(0, 2)) + L'\\';
}

}  // namespace InstallFolderRule
