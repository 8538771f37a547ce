#include "framework/PreparedFolderRule.h"

namespace PreparedFolderRule {

bool IsPrepared(const FolderTrustRule::FolderFacts& folder) {
    return FolderTrustRule::IsAuthority(folder.ownerSid);
}

}  // namespace PreparedFolderRule
