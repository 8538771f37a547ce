// The folder trust rule over descriptors written in SDDL: natively through the test's own
// reader, under Wine also as the platform makes and reads them (both readers must agree).
#include <gtest/gtest.h>

#include <string>

#include "framework/FolderTrustRule.h"
#include "framework/SddlFacts.h"

#ifdef _WIN32
#include <windows.h>

#include "framework/win32/FolderSecurity.h"
#endif

namespace {

using FolderTrustRule::Finding;

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";
constexpr wchar_t kOtherUser[] = L"S-1-5-21-1-2-3-1002";
constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr wchar_t kUsers[] = L"S-1-5-32-545";
constexpr wchar_t kAuthenticatedUsers[] = L"S-1-5-11";

struct TrustCase {
    const char* name;
    std::wstring sddl;  // "@" stands for the current user's SID
    Finding finding;
    std::wstring principal;  // who may change the folder, for OthersMayChange
};

std::wstring WithUser(std::wstring text) {
    for (size_t at = text.find(L'@'); at != std::wstring::npos; at = text.find(L'@'))
        text.replace(at, 1, kUser);
    return text;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The facts of the descriptor, with "@" for the user; under Wine the platform's reading, which
// the test's own must match.
FolderTrustRule::FolderFacts FactsOf(const std::wstring& sddl) {
    const std::wstring text = WithUser(sddl);
    const auto own = SddlFacts(text);
    EXPECT_TRUE(own.has_value()) << Narrow(text);
    if (!own) return {};
#ifdef _WIN32
    const FolderSecurity::LocalDescriptor descriptor = FolderSecurity::DescriptorFromSddl(text);
    EXPECT_TRUE(descriptor != nullptr) << Narrow(text);
    if (descriptor == nullptr) return {};
    FolderTrustRule::FolderFacts facts = FolderSecurity::FactsOf(descriptor.get());
    EXPECT_EQ(facts.ownerSid, own->ownerSid) << Narrow(text);
    EXPECT_EQ(facts.hasAccessList, own->hasAccessList) << Narrow(text);
    EXPECT_EQ(facts.entries.size(), own->entries.size()) << Narrow(text);
    for (std::size_t i = 0; i < facts.entries.size() && i < own->entries.size(); ++i) {
        const auto& platform = facts.entries[i];
        const auto& read = own->entries[i];
        EXPECT_TRUE(platform.allows == read.allows && platform.sid == read.sid &&
                    platform.mask == read.mask && platform.inherited == read.inherited &&
                    platform.inheritOnly == read.inheritOnly)
            << Narrow(text) << " entry " << i << ": " << Narrow(platform.sid) << " 0x" << std::hex
            << platform.mask;
    }
    return facts;
#else
    return *own;
#endif
}

#ifdef _WIN32
PSID GetSecurityDescriptorOwnerSid(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    return owner;
}
#endif

// Owned by the user, the machine's authorities full, the users read and run.
const std::wstring kOwnShape =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;@)(A;OICI;0x1200a9;;;BU)";

std::wstring OwnedByUserGranting(const std::wstring& entry) { return L"O:@" + kOwnShape + entry; }

TEST(FolderTrustRule, JudgesOwnersRightsPrincipalsAndInheritance) {
    const TrustCase cases[] = {
        // Owners.
        {"owner: the user", L"O:@" + kOwnShape, Finding::Trusted, L""},
        {"owner: SYSTEM", L"O:SY" + kOwnShape, Finding::Trusted, L""},
        {"owner: Administrators", L"O:BA" + kOwnShape, Finding::Trusted, L""},
        {"owner: TrustedInstaller",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" + kOwnShape,
         Finding::Trusted, L""},
        {"owner: another user", std::wstring(L"O:") + kOtherUser + kOwnShape, Finding::OtherOwner,
         L""},
        {"owner: the users", L"O:BU" + kOwnShape, Finding::OtherOwner, L""},
        {"owner: everyone", L"O:WD" + kOwnShape, Finding::OtherOwner, L""},
        {"no owner", kOwnShape, Finding::OtherOwner, L""},
        // Access lists.
        {"an empty access list", L"O:@D:P", Finding::Trusted, L""},
        // Each changing right, given to everyone.
        {"write data", OwnedByUserGranting(L"(A;;0x2;;;WD)"), Finding::OthersMayChange, kEveryone},
        {"append data", OwnedByUserGranting(L"(A;;0x4;;;WD)"), Finding::OthersMayChange, kEveryone},
        {"delete child", OwnedByUserGranting(L"(A;;0x40;;;WD)"), Finding::OthersMayChange,
         kEveryone},
        {"delete", OwnedByUserGranting(L"(A;;SD;;;WD)"), Finding::OthersMayChange, kEveryone},
        {"change permissions", OwnedByUserGranting(L"(A;;WD;;;WD)"), Finding::OthersMayChange,
         kEveryone},
        {"take ownership", OwnedByUserGranting(L"(A;;WO;;;WD)"), Finding::OthersMayChange,
         kEveryone},
        {"generic all", OwnedByUserGranting(L"(A;;GA;;;WD)"), Finding::OthersMayChange, kEveryone},
        {"generic write", OwnedByUserGranting(L"(A;;GW;;;WD)"), Finding::OthersMayChange,
         kEveryone},
        {"modify", OwnedByUserGranting(L"(A;OICI;0x1301bf;;;WD)"), Finding::OthersMayChange,
         kEveryone},
        // Rights that change nothing that is run.
        {"read and run", OwnedByUserGranting(L"(A;OICI;0x1200a9;;;WD)"), Finding::Trusted, L""},
        {"generic read and execute", OwnedByUserGranting(L"(A;;GRGX;;;WD)"), Finding::Trusted, L""},
        {"write attributes and extended attributes", OwnedByUserGranting(L"(A;;0x110;;;WD)"),
         Finding::Trusted, L""},
        {"a denying entry", OwnedByUserGranting(L"(D;OICI;FA;;;WD)"), Finding::Trusted, L""},
        // Principals that may hold every right.
        {"full for SYSTEM", L"O:@D:P(A;;FA;;;SY)", Finding::Trusted, L""},
        {"full for Administrators", L"O:@D:P(A;;FA;;;BA)", Finding::Trusted, L""},
        {"full for TrustedInstaller",
         L"O:@D:P(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)",
         Finding::Trusted, L""},
        {"full for the user", L"O:@D:P(A;;FA;;;@)", Finding::Trusted, L""},
        {"full for the creator of what is made below", L"O:@D:P(A;OICIIO;GA;;;CO)",
         Finding::Trusted, L""},
        // Principals that may not.
        {"modify for the users", OwnedByUserGranting(L"(A;;0x1301bf;;;BU)"),
         Finding::OthersMayChange, kUsers},
        {"modify for authenticated users", OwnedByUserGranting(L"(A;;0x1301bf;;;AU)"),
         Finding::OthersMayChange, kAuthenticatedUsers},
        {"modify for interactive users", OwnedByUserGranting(L"(A;;0x1301bf;;;IU)"),
         Finding::OthersMayChange, L"S-1-5-4"},
        {"modify for another user",
         OwnedByUserGranting(std::wstring(L"(A;;0x1301bf;;;") + kOtherUser + L")"),
         Finding::OthersMayChange, kOtherUser},
        {"full for the creator's group", OwnedByUserGranting(L"(A;OICIIO;GA;;;CG)"),
         Finding::OthersMayChange, L"S-1-3-1"},
        // What is inherited only by what is made below still lets others change it.
        {"inherit-only write for everyone", OwnedByUserGranting(L"(A;OICIIO;GW;;;WD)"),
         Finding::OthersMayChange, kEveryone},
        // Inherited entries: what a folder made in the drive root gets by default.
        {"a folder made in the drive root",
         L"O:@D:AI(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)"
         L"(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
         Finding::OthersMayChange, kAuthenticatedUsers},
        {"inherited read and run", L"O:@D:AI(A;OICIID;0x1200a9;;;BU)(A;OICIID;FA;;;@)",
         Finding::Trusted, L""},
        // A folder only the machine's authorities may re-grant keeps what an administrator gave.
        // ... to a named account or group, short of removing the folder or re-granting rights.
        {"owned by SYSTEM, write given to a group",
         L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;0x1201bf;;;S-1-5-21-1-2-3-2000)", Finding::Trusted, L""},
        {"owned by TrustedInstaller, write given to a user",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;GW;;;" +
             std::wstring(kOtherUser) + L")",
         Finding::Trusted, L""},
        {"owned by SYSTEM, modify given to a group",
         L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-2000)",
         Finding::OthersMayChange, L"S-1-5-21-1-2-3-2000"},
        {"owned by Administrators, delete given to a user",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;;SD;;;" + std::wstring(kOtherUser) + L")",
         Finding::OthersMayChange, kOtherUser},
        // "Disable inheritance, convert": the users' inherited modify made explicit.
        {"owned by Administrators, modify given to the users",
         L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", Finding::OthersMayChange,
         kUsers},
        {"owned by Administrators, modify given to authenticated users",
         L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1301bf;;;AU)",
         Finding::OthersMayChange, kAuthenticatedUsers},
        {"owned by Administrators, modify for the users inherited",
         L"O:BAD:AI(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", Finding::OthersMayChange,
         kAuthenticatedUsers},
        {"owned by Administrators, change permissions given to the users",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;;WD;;;BU)", Finding::OthersMayChange,
         kUsers},
        {"owned by Administrators, take ownership given to the users", L"O:BAD:P(A;;WO;;;BU)",
         Finding::OthersMayChange, kUsers},
        {"owned by Administrators, full control given to the users", L"O:BAD:P(A;OICI;FA;;;BU)",
         Finding::OthersMayChange, kUsers},
        {"owned by the user, modify given to the users",
         L"O:@D:P(A;OICI;FA;;;@)(A;OICI;0x1301bf;;;BU)", Finding::OthersMayChange, kUsers},
        // The shapes the component gives what it makes.
        {"the component's own folder", FolderTrustRule::OwnFolderSddl(kUser), Finding::Trusted,
         L""},
        {"the component's private folder", FolderTrustRule::PrivateSddl(kUser), Finding::Trusted,
         L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FolderTrustRule::Judgement judgement = FolderTrustRule::Judge(FactsOf(c.sddl), kUser);
        EXPECT_EQ(judgement.finding, c.finding);
        EXPECT_EQ(judgement.principal, c.principal);
        if (c.finding == Finding::OthersMayChange) {
            EXPECT_NE(judgement.rights & FolderTrustRule::kChangingRights, 0u);
        }
    }
}

// No owner makes a broad group's write, delete or re-granting rights safe: each group, each
// such right, given explicitly on a folder the machine's authorities own.
TEST(FolderTrustRule, RefusesBroadGroupsChangingRightsWhateverTheOwner) {
    const std::wstring broadGroups[] = {
        L"S-1-1-0",    L"S-1-5-11", L"S-1-5-32-545", L"S-1-5-32-546", L"S-1-5-4",
        L"S-1-5-2",    L"S-1-5-7",  L"S-1-15-2-1",   L"S-1-15-2-2",   L"S-1-15-2-1-2-3-4-5-6-7",
        L"S-1-15-3-1",
    };
    const std::wstring rights[] = {L"0x2", L"0x4", L"0x40", L"SD",
                                   L"WD",  L"WO",  L"GW",   L"0x1201bf"};
    for (const wchar_t* owner : {L"SY", L"BA", L"@"}) {
        for (const std::wstring& group : broadGroups) {
            EXPECT_TRUE(FolderTrustRule::IsBroadGroup(group)) << Narrow(group);
            for (const std::wstring& right : rights) {
                const std::wstring sddl = std::wstring(L"O:") + owner +
                                          L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;@)"
                                          L"(A;;" +
                                          right + L";;;" + group + L")";
                SCOPED_TRACE(Narrow(sddl));
                const FolderTrustRule::Judgement judgement =
                    FolderTrustRule::Judge(FactsOf(sddl), kUser);
                EXPECT_EQ(judgement.finding, Finding::OthersMayChange);
                EXPECT_EQ(judgement.principal, group);
            }
        }
    }
    // The same write, given to a named group, is an administrator's choice.
    EXPECT_EQ(FolderTrustRule::Judge(FactsOf(L"O:BAD:P(A;;0x1201bf;;;S-1-5-21-1-2-3-2000)"), kUser)
                  .finding,
              Finding::Trusted);
    for (const wchar_t* named : {L"S-1-5-21-1-2-3-2000", L"S-1-5-32-544", L"S-1-15", L"S-1-5-6"})
        EXPECT_FALSE(FolderTrustRule::IsBroadGroup(named)) << Narrow(named);
}

// The drive root may let others create folders, as every Windows root does, but not rename or
// replace what lies in it.
TEST(FolderTrustRule, JudgesTheDriveRootForWhatReplacesTheTree) {
    const std::wstring trustedInstaller =
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const std::wstring rootShape = L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    const TrustCase cases[] = {
        {"the root as Windows makes it",
         L"O:" + trustedInstaller + rootShape + L"(A;OICIIO;SDGXGWGR;;;AU)(A;;0x4;;;AU)",
         Finding::Trusted, L""},
        {"owned by Administrators", L"O:BA" + rootShape, Finding::Trusted, L""},
        {"owned by the user", L"O:@" + rootShape, Finding::Trusted, L""},
        {"owned by another user", std::wstring(L"O:") + kOtherUser + rootShape, Finding::OtherOwner,
         L""},
        {"files and folders created by everyone", L"O:BA" + rootShape + L"(A;;0x6;;;WD)",
         Finding::Trusted, L""},
        {"write and delete of the root itself by the users",
         L"O:BA" + rootShape + L"(A;;GWSD;;;BU)", Finding::Trusted, L""},
        {"full control only for what is made below", L"O:BA" + rootShape + L"(A;OICIIO;GA;;;AU)",
         Finding::Trusted, L""},
        {"delete child for authenticated users", L"O:BA" + rootShape + L"(A;;0x40;;;AU)",
         Finding::OthersMayChange, kAuthenticatedUsers},
        {"change permissions for the users", L"O:BA" + rootShape + L"(A;;WD;;;BU)",
         Finding::OthersMayChange, kUsers},
        {"take ownership for everyone", L"O:BA" + rootShape + L"(A;;WO;;;WD)",
         Finding::OthersMayChange, kEveryone},
        {"full control for a named group, given by an administrator",
         L"O:BA" + rootShape + L"(A;OICI;FA;;;S-1-5-21-1-2-3-2000)", Finding::OthersMayChange,
         L"S-1-5-21-1-2-3-2000"},
        {"generic all for another user", L"O:BA" + rootShape + L"(A;;GA;;;" + kOtherUser + L")",
         Finding::OthersMayChange, kOtherUser},
        {"full control for everyone, denied", L"O:BA" + rootShape + L"(D;;FA;;;WD)(A;;0x4;;;WD)",
         Finding::Trusted, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FolderTrustRule::Judgement judgement =
            FolderTrustRule::JudgeDriveRoot(FactsOf(c.sddl), kUser);
        EXPECT_EQ(judgement.finding, c.finding);
        EXPECT_EQ(judgement.principal, c.principal);
    }
}

// A file that is run: nobody else may write it, nor change its times and attributes (they decide
// updates where nothing is signed), its permissions or its owner.
TEST(FolderTrustRule, JudgesAFileThatIsRunWithItsTimesAndAttributes) {
    const std::wstring fileShape =
        L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;FA;;;@)(A;ID;0x1200a9;;;BU)";
    const TrustCase cases[] = {
        {"as the install folder leaves it", L"O:@" + fileShape, Finding::Trusted, L""},
        {"owned by TrustedInstaller",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" + fileShape,
         Finding::Trusted, L""},
        {"owned by another user", std::wstring(L"O:") + kOtherUser + fileShape,
         Finding::OtherOwner, L""},
        {"write attributes for everyone", L"O:@" + fileShape + L"(A;;0x100;;;WD)",
         Finding::OthersMayChange, kEveryone},
        {"write data for the users", L"O:@" + fileShape + L"(A;;0x2;;;BU)",
         Finding::OthersMayChange, kUsers},
        {"modify for authenticated users, given by an administrator",
         L"O:BA" + fileShape + L"(A;;0x1301bf;;;AU)", Finding::OthersMayChange,
         kAuthenticatedUsers},
        {"write attributes for a named group, given by an administrator",
         L"O:BA" + fileShape + L"(A;;0x100;;;S-1-5-21-1-2-3-2000)", Finding::Trusted, L""},
        {"write extended attributes for everyone", L"O:@" + fileShape + L"(A;;0x10;;;WD)",
         Finding::Trusted, L""},
        {"read and run for everyone", L"O:@" + fileShape + L"(A;;0x1200a9;;;WD)",
         Finding::Trusted, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderTrustRule::FolderFacts facts = FactsOf(c.sddl);
        facts.isFolder = false;
        const FolderTrustRule::Judgement judgement = FolderTrustRule::JudgeFile(facts, kUser);
        EXPECT_EQ(judgement.finding, c.finding);
        EXPECT_EQ(judgement.principal, c.principal);
    }
    // A folder, or a link, in the file's place.
    FolderTrustRule::FolderFacts facts = FactsOf(L"O:@" + fileShape);
    EXPECT_EQ(FolderTrustRule::JudgeFile(facts, kUser).finding, Finding::NotAFile);
    facts.isFolder = false;
    facts.reparsePoint = true;
    EXPECT_EQ(FolderTrustRule::JudgeFile(facts, kUser).finding, Finding::ReparsePoint);
    // The same write-attributes right on a folder changes nothing that is run.
    EXPECT_EQ(FolderTrustRule::Judge(FactsOf(L"O:@" + fileShape + L"(A;;0x100;;;WD)"), kUser)
                  .finding,
              Finding::Trusted);
}

// In an install folder prepared for several users any member may have installed a file or made
// a folder, and the administrator's grant hands the members their changing rights; nobody else
// gets any, and a broad group never.
TEST(FolderTrustRule, BelowAPreparedFolderAMembersFileOrFolderIsTrusted) {
    const std::wstring member = L"S-1-5-21-1-2-3-1003";
    const std::wstring group = L"S-1-5-21-1-2-3-2001";
    const std::wstring handedDown = L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)"
                                    L"(A;ID;0x1301bf;;;" + group + L")";
    const TrustCase cases[] = {
        {"a member's, as the grant hands it down", L"O:" + member + handedDown, Finding::Trusted,
         L""},
        {"this user's", L"O:@" + handedDown, Finding::Trusted, L""},
        {"owned by everyone", L"O:WD" + handedDown, Finding::OtherOwner, L""},
        {"handed down to the users", L"O:" + member + handedDown + L"(A;ID;0x1301bf;;;BU)",
         Finding::OthersMayChange, kUsers},
        {"a member's own grant to another", L"O:" + member + handedDown + L"(A;;0x2;;;" +
                                                kOtherUser + L")",
         Finding::OthersMayChange, kOtherUser},
        {"permissions handed down to the group",
         L"O:" + member + handedDown + L"(A;ID;0x40000;;;" + group + L")", Finding::OthersMayChange,
         group},
    };
    for (const bool folder : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (folder ? ", a folder" : ", a file"));
            FolderTrustRule::FolderFacts facts = FactsOf(c.sddl);
            facts.isFolder = folder;
            const FolderTrustRule::Judgement judgement =
                folder ? FolderTrustRule::JudgeInPreparedFolder(facts, kUser, true)
                       : FolderTrustRule::JudgeFile(facts, kUser, true);
            EXPECT_EQ(judgement.finding, c.finding);
            EXPECT_EQ(judgement.principal, c.principal);
        }
    }
    // Outside such a folder a member's file is another user's.
    FolderTrustRule::FolderFacts facts = FactsOf(L"O:" + member + handedDown);
    facts.isFolder = false;
    EXPECT_EQ(FolderTrustRule::JudgeFile(facts, kUser).finding, Finding::OtherOwner);
}

#ifdef _WIN32
TEST(FolderTrustRule, ATrustedDescriptorOnAnythingButAPlainFolderIsNot) {
    const FolderSecurity::LocalDescriptor descriptor =
        FolderSecurity::DescriptorFromSddl(WithUser(L"O:@" + kOwnShape));
    ASSERT_TRUE(descriptor != nullptr);
    FolderTrustRule::FolderFacts facts = FolderSecurity::FactsOf(descriptor.get());
    EXPECT_EQ(FolderTrustRule::Judge(facts, kUser).finding, Finding::Trusted);
    facts.reparsePoint = true;
    EXPECT_EQ(FolderTrustRule::Judge(facts, kUser).finding, Finding::ReparsePoint);
    facts.reparsePoint = false;
    facts.isFolder = false;
    EXPECT_EQ(FolderTrustRule::Judge(facts, kUser).finding, Finding::NotAFolder);
    // No access list at all lets everyone do everything. (Made by hand: Wine's SDDL reader
    // makes an empty list of "D:NO_ACCESS_CONTROL".)
    SECURITY_DESCRIPTOR open{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(
        SetSecurityDescriptorOwner(&open, GetSecurityDescriptorOwnerSid(descriptor.get()), FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_EQ(FolderSecurity::FactsOf(&open).ownerSid, kUser);
    EXPECT_EQ(FolderTrustRule::Judge(FolderSecurity::FactsOf(&open), kUser).finding,
              Finding::NoAccessList);
    // Nobody is the user whose SID cannot be read.
    EXPECT_EQ(FolderTrustRule::Judge(FolderSecurity::FactsOf(descriptor.get()), L"").finding,
              Finding::OtherOwner);
}
#endif

}  // namespace
