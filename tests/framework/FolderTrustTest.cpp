// The folder trust rule over descriptors the platform makes from SDDL, as it reads a folder's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "framework/FolderTrustRule.h"
#include "framework/win32/FolderSecurity.h"

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

PSID GetSecurityDescriptorOwnerSid(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    return owner;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Owned by the user, the machine's authorities full, the users read and run.
const std::wstring kOwnShape = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;@)(A;OICI;0x1200a9;;;BU)";

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
        {"append data", OwnedByUserGranting(L"(A;;0x4;;;WD)"), Finding::OthersMayChange,
         kEveryone},
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
        {"generic read and execute", OwnedByUserGranting(L"(A;;GRGX;;;WD)"), Finding::Trusted,
         L""},
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
        {"modify for another user", OwnedByUserGranting(std::wstring(L"(A;;0x1301bf;;;") +
                                                        kOtherUser + L")"),
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
        {"owned by Administrators, modify given to the users",
         L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", Finding::Trusted, L""},
        {"owned by SYSTEM, modify given to a group",
         L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-2000)", Finding::Trusted,
         L""},
        {"owned by TrustedInstaller, write given to the users",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;GW;;;BU)",
         Finding::Trusted, L""},
        {"owned by Administrators, modify for the users inherited",
         L"O:BAD:AI(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)", Finding::OthersMayChange,
         kAuthenticatedUsers},
        {"owned by Administrators, change permissions given to the users",
         L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;;WD;;;BU)", Finding::OthersMayChange,
         kUsers},
        {"owned by Administrators, take ownership given to the users",
         L"O:BAD:P(A;;WO;;;BU)", Finding::OthersMayChange, kUsers},
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
        const FolderSecurity::LocalDescriptor descriptor =
            FolderSecurity::DescriptorFromSddl(WithUser(c.sddl));
        ASSERT_TRUE(descriptor != nullptr) << Narrow(WithUser(c.sddl));
        const FolderTrustRule::Judgement judgement =
            FolderTrustRule::Judge(FolderSecurity::FactsOf(descriptor.get()), kUser);
        EXPECT_EQ(judgement.finding, c.finding);
        EXPECT_EQ(judgement.principal, c.principal);
        if (c.finding == Finding::OthersMayChange) {
            EXPECT_NE(judgement.rights & FolderTrustRule::kChangingRights, 0u);
        }
    }
}

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
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, GetSecurityDescriptorOwnerSid(descriptor.get()),
                                           FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_EQ(FolderSecurity::FactsOf(&open).ownerSid, kUser);
    EXPECT_EQ(FolderTrustRule::Judge(FolderSecurity::FactsOf(&open), kUser).finding,
              Finding::NoAccessList);
    // Nobody is the user whose SID cannot be read.
    EXPECT_EQ(FolderTrustRule::Judge(FolderSecurity::FactsOf(descriptor.get()), L"").finding,
              Finding::OtherOwner);
}

}  // namespace
