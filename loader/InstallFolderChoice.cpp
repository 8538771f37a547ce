#include "loader/InstallFolderChoice.h"

#include <cwctype>

#include "framework/PreparedFolderRule.h"
#include "loader/InstallFolderRule.h"

namespace InstallFolderChoice {

namespace {

std::wstring WithoutBackslash(std::wstring_view folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.remove_suffix(1);
    return std::wstring(folder);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

// folder is top or lies below it.
bool AtOrBelow(std::wstring_view folder, std::wstring_view top) {
    if (SameText(folder, top)) return true;
    return folder.size() > top.size() && SameText(folder.substr(0, top.size()), top) &&
           (folder[top.size()] == L'\\' || folder[top.size()] == L'/');
}

}  // namespace

Use Choose(bool sharedTrusted, bool sharedWritable, bool ownTrusted) {
    if (sharedTrusted && sharedWritable) return Use::Shared;
    return ownTrusted ? Use::Own : Use::Neither;
}

FolderTrustRule::Judgement JudgeInstallFolder(const FolderTrustRule::FolderFacts& installFolder,
                                              const FolderTrustRule::FolderFacts* workFolder,
                                              std::wstring_view userSid) {
    const FolderTrustRule::Judgement install = FolderTrustRule::Judge(installFolder, userSid);
    if (install.finding != FolderTrustRule::Finding::Trusted || workFolder == nullptr)
        return install;
    if (!PreparedFolderRule::IsPrepared(installFolder))
        return FolderTrustRule::Judge(*workFolder, userSid);
    FolderTrustRule::FolderFacts own = *workFolder;
    own.ownerSid = std::wstring(userSid);
    std::erase_if(own.entries,
                  [](const FolderTrustRule::AccessEntry& entry) { return entry.inherited; });
    return FolderTrustRule::Judge(own, userSid);
}

std::vector<std::wstring> FoldersToJudge(std::wstring_view installFolder, std::wstring_view top) {
    const std::wstring plainTop = WithoutBackslash(top);
    const bool fromTop = !plainTop.empty() && AtOrBelow(WithoutBackslash(installFolder), plainTop);
    std::vector<std::wstring> folders;
    for (const std::wstring& folder : InstallFolderRule::FoldersAlong(installFolder)) {
        std::wstring plain = WithoutBackslash(folder);
        if (fromTop && !AtOrBelow(plain, plainTop)) continue;
        if (folders.empty() || !SameText(folders.back(), plain))
            folders.push_back(std::move(plain));
    }
    return folders;
}

}  // namespace InstallFolderChoice
