#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/FolderTrustRule.h"

// Which install folder a launch runs in. The shared folder serves a user when every folder down
// to it is trusted for that user and that user may change it; otherwise the user's own folder
// below the profile does, judged by the same rule.
namespace InstallFolderChoice {

enum class Use { Shared, Own, Neither };

Use Choose(bool sharedTrusted, bool sharedWritable, bool ownTrusted);

// The install folder and, when there is one, its work folder. In a prepared folder
// (PreparedFolderRule) the work folder may belong to the member who made it: the entries it
// inherits are the ones the install folder hands down, judged there already; its own entries
// and its kind are judged as for a folder of this user's.
FolderTrustRule::Judgement JudgeInstallFolder(const FolderTrustRule::FolderFacts& installFolder,
                                              const FolderTrustRule::FolderFacts* workFolder,
                                              std::wstring_view userSid);

// The folders to judge for an install folder, top down, each once and without a trailing "\":
// every folder below the drive root, or, when top is given and the install folder lies below it,
// top and every folder between them.
std::vector<std::wstring> FoldersToJudge(std::wstring_view installFolder, std::wstring_view top);

}  // namespace InstallFolderChoice
