#pragma once

#include "framework/FolderTrustRule.h"

namespace PreparedFolderRule {

// A folder that one of the machine's authorities owns was prepared by an administrator for a
// group of users: what the component makes in it for its runs (the work folder, records, the
// settings file) carries the folder's inherited list, so that every member's run can use it.
bool IsPrepared(const FolderTrustRule::FolderFacts& folder);

}  // namespace PreparedFolderRule
