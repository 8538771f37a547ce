#include "framework/FolderTrustRule.h"

namespace FolderTrustRule {

bool IsAuthority(std::wstring_view sid) {
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid;
}

namespace {

bool IsTrustedPrincipal(std::wstring_view sid, std::wstring_view currentUserSid) {
    return IsAuthority(sid) || sid == kCreatorOwnerSid || (!sid.empty() && sid == currentUserSid);
}

// An explicit entry on a folder that only an authority may re-grant was put there by one.
bool GrantedByAuthority(const AccessEntry& entry, bool authorityOwned) {
    return authorityOwned && !entry.inherited && (entry.mask & kAuthorityRights) == 0;
}

}  // namespace

Judgement Judge(const FolderFacts& facts, std::wstring_view currentUserSid) {
    if (!facts.isFolder) return {Finding::NotAFolder, {}, 0};
    if (facts.reparsePoint) return {Finding::ReparsePoint, {}, 0};
    const bool authorityOwned = IsAuthority(facts.ownerSid);
    if (!authorityOwned &&
        (facts.ownerSid.empty() || facts.ownerSid != currentUserSid))
        return {Finding::OtherOwner, {}, 0};
    if (!facts.hasAccessList) return {Finding::NoAccessList, {}, 0};
    for (const AccessEntry& entry : facts.entries) {
        const std::uint32_t changing = entry.mask & kChangingRights;
        if (!entry.allows || changing == 0) continue;
        if (IsTrustedPrincipal(entry.sid, currentUserSid)) continue;
        if (GrantedByAuthority(entry, authorityOwned)) continue;
        return {Finding::OthersMayChange, entry.sid, changing};
    }
    return {};
}

std::wstring PrivateSddl(std::wstring_view userSid) {
    const std::wstring user(userSid);
    // FA: all access.
    return L"O:" + user + L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")";
}

std::wstring OwnFolderSddl(std::wstring_view userSid) {
    // 0x1200a9: read, read attributes, list and traverse (run).
    return PrivateSddl(userSid) + L"(A;OICI;0x1200a9;;;BU)";
}

}  // namespace FolderTrustRule
