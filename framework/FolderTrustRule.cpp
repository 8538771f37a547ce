#include "framework/FolderTrustRule.h"

namespace FolderTrustRule {

bool IsAuthority(std::wstring_view sid) {
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid;
}

bool IsBroadGroup(std::wstring_view sid) {
    static constexpr std::wstring_view kBroadGroups[] = {
        L"S-1-1-0",       // Everyone
        L"S-1-5-11",      // Authenticated Users
        L"S-1-5-32-545",  // Users
        L"S-1-5-32-546",  // Guests
        L"S-1-5-4",       // INTERACTIVE
        L"S-1-5-2",       // NETWORK
        L"S-1-5-7",       // ANONYMOUS LOGON
    };
    for (const std::wstring_view group : kBroadGroups)
        if (sid == group) return true;
    // The package authority: all application packages, each AppContainer and capability.
    return sid.starts_with(L"S-1-15-");
}

namespace {

bool IsTrustedPrincipal(std::wstring_view sid, std::wstring_view currentUserSid) {
    return IsAuthority(sid) || sid == kCreatorOwnerSid || (!sid.empty() && sid == currentUserSid);
}

// An explicit entry on a folder that only an authority may re-grant was put there by one, for
// a named account or group; what lets its holder re-grant rights is never kept, nor delete on
// the folder itself (what is made below, its holder may change: a prepared folder's members).
bool GrantedByAuthority(const AccessEntry& entry, bool authorityOwned) {
    const std::uint32_t refused = entry.inheritOnly ? kAuthorityRights : kAuthorityRights | kDelete;
    return authorityOwned && !entry.inherited && !IsBroadGroup(entry.sid) &&
           (entry.mask & refused) == 0;
}

// In a prepared folder a file may be a member's, with what the administrator's grant hands
// down to it: a named account or group that holds no right to re-grant.
bool HandedDownToMembers(const AccessEntry& entry) {
    return entry.inherited && !IsBroadGroup(entry.sid) && (entry.mask & kAuthorityRights) == 0;
}

// Checks shared by folders, drive roots and files; Trusted when the entries decide.
Judgement JudgeOwner(const FolderFacts& facts, std::wstring_view currentUserSid,
                     bool folder = true) {
    if (facts.isFolder != folder) return {folder ? Finding::NotAFolder : Finding::NotAFile, {}, 0};
    if (facts.reparsePoint) return {Finding::ReparsePoint, {}, 0};
    if (!IsAuthority(facts.ownerSid) &&
        (facts.ownerSid.empty() || facts.ownerSid != currentUserSid))
        return {Finding::OtherOwner, {}, 0};
    if (!facts.hasAccessList) return {Finding::NoAccessList, {}, 0};
    return {};
}

// The first entry giving another a changing right that no authority's grant explains.
Judgement JudgeEntries(const FolderFacts& facts, std::wstring_view currentUserSid,
                       std::uint32_t changingRights) {
    const bool authorityOwned = IsAuthority(facts.ownerSid);
    for (const AccessEntry& entry : facts.entries) {
        const std::uint32_t changing = entry.mask & changingRights;
        if (!entry.allows || changing == 0) continue;
        if (IsTrustedPrincipal(entry.sid, currentUserSid)) continue;
        if (GrantedByAuthority(entry, authorityOwned)) continue;
        return {Finding::OthersMayChange, entry.sid, changing};
    }
    return {};
}

}  // namespace

Judgement Judge(const FolderFacts& facts, std::wstring_view currentUserSid) {
    if (Judgement owner = JudgeOwner(facts, currentUserSid); owner.finding != Finding::Trusted)
        return owner;
    return JudgeEntries(facts, currentUserSid, kChangingRights);
}

Judgement JudgeInPreparedFolder(const FolderFacts& facts, std::wstring_view currentUserSid,
                                bool folder) {
    // Any member may have made it; what it may not be is anyone's.
    if (facts.isFolder != folder) return {folder ? Finding::NotAFolder : Finding::NotAFile, {}, 0};
    if (facts.reparsePoint) return {Finding::ReparsePoint, {}, 0};
    if (facts.ownerSid.empty() || IsBroadGroup(facts.ownerSid)) return {Finding::OtherOwner, {}, 0};
    if (!facts.hasAccessList) return {Finding::NoAccessList, {}, 0};
    FolderFacts own = facts;
    std::erase_if(own.entries, HandedDownToMembers);
    return JudgeEntries(own, currentUserSid, folder ? kChangingRights : kFileChangingRights);
}

Judgement JudgeFile(const FolderFacts& facts, std::wstring_view currentUserSid,
                    bool inPreparedFolder) {
    if (inPreparedFolder) return JudgeInPreparedFolder(facts, currentUserSid, false);
    if (Judgement owner = JudgeOwner(facts, currentUserSid, false);
        owner.finding != Finding::Trusted)
        return owner;
    return JudgeEntries(facts, currentUserSid, kFileChangingRights);
}

Judgement JudgeDriveRoot(const FolderFacts& facts, std::wstring_view currentUserSid) {
    if (Judgement owner = JudgeOwner(facts, currentUserSid); owner.finding != Finding::Trusted)
        return owner;
    for (const AccessEntry& entry : facts.entries) {
        // What only folders made below inherit is judged on those folders.
        const std::uint32_t replacing = entry.mask & kReplacingRights;
        if (!entry.allows || entry.inheritOnly || replacing == 0) continue;
        if (IsTrustedPrincipal(entry.sid, currentUserSid)) continue;
        return {Finding::OthersMayChange, entry.sid, replacing};
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
