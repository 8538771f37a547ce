#include "update/JournalPathRule.h"

#include <algorithm>

#include "framework/PathText.h"
#include "update/EntryPathRule.h"
#include "update/UpdateWorkPaths.h"

namespace JournalPathRule {

namespace {

// AsidePath(target) followed by nothing, or by the digits of a later attempt.
bool IsAsideOf(std::wstring_view target, std::wstring_view aside) {
    const std::wstring first = UpdateWorkPaths::AsidePath(target);
    if (aside.substr(0, first.size()) != first) return false;
    const std::wstring_view attempt = aside.substr(first.size());
    return std::all_of(attempt.begin(), attempt.end(),
                       [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

std::optional<JournalFolders> FoldersOf(std::wstring_view journalPath) {
    const std::wstring install =
        PathText::AppendBackslash(PathText::FolderPart(PathText::FolderPart(journalPath)));
    const std::wstring work = UpdateWorkPaths::WorkFolder(install);
    if (!EntryPathRule::IsLocalBase(install) || UpdateWorkPaths::JournalFile(work) != journalPath)
        return std::nullopt;
    return JournalFolders{install, work};
}

bool IsNamedBelow(std::wstring_view folder, std::wstring_view path) {
    if (folder.empty() || folder.back() != L'\\' || !EntryPathRule::LiesInside(folder, path))
        return false;
    std::wstring_view rest = path.substr(folder.size());
    for (;;) {
        const size_t end = rest.find(L'\\');
        if (!EntryPathRule::IsPlainFileName(rest.substr(0, end))) return false;
        if (end == std::wstring_view::npos) return true;
        rest.remove_prefix(end + 1);
    }
}

std::optional<std::wstring> Refusal(const JournalEntry& entry, const JournalFolders& folders) {
    const std::wstring& base = entry.base.empty() ? folders.install : entry.base;
    if (!IsNamedBelow(base, entry.target) || IsNamedBelow(folders.work, entry.target))
        return L"the target " + entry.target + L" does not lie in its base folder " + base;
    if (!IsAsideOf(entry.target, entry.aside) || !IsNamedBelow(base, entry.aside))
        return L"the old file's place " + entry.aside + L" is not its target's";
    if (!IsNamedBelow(UpdateWorkPaths::StagedFolder(folders.work) + L"\\", entry.staged))
        return L"the staged file " + entry.staged + L" does not lie in the run's staging folder";
    return std::nullopt;
}

}  // namespace JournalPathRule
