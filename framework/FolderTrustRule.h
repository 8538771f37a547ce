#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Whether a folder may hold what the component registers and starts: nobody but the current
// user and the machine's own authorities may change it. Judged from facts read off the
// folder's security descriptor; SIDs are in their text form ("S-1-5-18").
namespace FolderTrustRule {

inline constexpr wchar_t kSystemSid[] = L"S-1-5-18";
inline constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";
inline constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Stands for whoever creates something below; it grants nothing by itself.
inline constexpr wchar_t kCreatorOwnerSid[] = L"S-1-3-0";

// Access mask bits, as the platform defines them.
enum Right : std::uint32_t {
    kWriteData = 0x0002,   // add a file, for a folder
    kAppendData = 0x0004,  // add a sub-folder, for a folder
    kDeleteChild = 0x0040,
    kWriteAttributes = 0x0100,
    kDelete = 0x00010000,
    kChangePermissions = 0x00040000,
    kTakeOwnership = 0x00080000,
    kGenericAll = 0x10000000,
    kGenericWrite = 0x40000000,
};
// Rights that let their holder change the folder or what it holds.
inline constexpr std::uint32_t kChangingRights = kWriteData | kAppendData | kDeleteChild |
                                                 kDelete | kChangePermissions | kTakeOwnership |
                                                 kGenericAll | kGenericWrite;
// Rights that let their holder hand out any right: never granted to others.
inline constexpr std::uint32_t kAuthorityRights =
    kChangePermissions | kTakeOwnership | kGenericAll;
// Rights that let their holder change a file that is run: its bytes, and its times and attributes
// (file times decide updates where nothing is signed).
inline constexpr std::uint32_t kFileChangingRights = kChangingRights | kWriteAttributes;
// Rights on the folder a judged tree lies in that let their holder rename or replace the tree;
// creating a folder there changes nothing already in it.
inline constexpr std::uint32_t kReplacingRights =
    kDeleteChild | kChangePermissions | kTakeOwnership | kGenericAll;

struct AccessEntry {
    bool allows = true;  // an allowing entry; denying ones only take rights away
    std::wstring sid;    // empty for an entry of a kind that cannot be read
    std::uint32_t mask = 0;
    bool inherited = false;
    bool inheritOnly = false;  // given only to what is made below, not to the folder itself
};

struct FolderFacts {
    bool isFolder = true;
    bool reparsePoint = false;
    std::wstring ownerSid;    // empty when the descriptor names none
    bool hasAccessList = true;  // no list at all lets everyone do everything
    std::vector<AccessEntry> entries;
};

enum class Finding {
    Trusted,
    NotAFolder,
    ReparsePoint,
    OtherOwner,
    NoAccessList,
    OthersMayChange,
    NotAFile,
};

struct Judgement {
    Finding finding = Finding::Trusted;
    std::wstring principal;   // who may change the folder, for OthersMayChange
    std::uint32_t rights = 0;  // the changing rights it holds
};

// Trusted when the folder is a real folder (no reparse point) owned by the current user,
// SYSTEM, the Administrators or TrustedInstaller, and no entry gives a changing right to
// anyone else. A folder owned by one of the machine's authorities keeps the explicit write
// rights an administrator gave to a named account or group, but never a broad group's, nor
// delete, change-permissions or take-ownership for anyone.
Judgement Judge(const FolderFacts& facts, std::wstring_view currentUserSid);

// A file that is run, judged as a folder is, with the file's changing rights: a plain file (no
// reparse point, no folder), owned and changeable as a trusted folder. In an install folder
// prepared for several users (PreparedFolderRule) it may belong to any member, and the rights
// the administrator's grant hands down to a named account or group are the members' own.
Judgement JudgeFile(const FolderFacts& facts, std::wstring_view currentUserSid,
                    bool inPreparedFolder = false);
// A file or folder below an install folder prepared for several users: a real one of its kind,
// owned by any account but a broad group, with no changing right for anyone else beyond what
// the administrator's grant hands down to a named account or group.
Judgement JudgeInPreparedFolder(const FolderFacts& facts, std::wstring_view currentUserSid,
                                bool folder);

// The drive root a judged tree lies in: trusted when it is owned like a judged folder and
// nobody else holds a replacing right on the root itself.
Judgement JudgeDriveRoot(const FolderFacts& facts, std::wstring_view currentUserSid);

bool IsAuthority(std::wstring_view sid);
// Everyone, Authenticated Users, Users, Guests, INTERACTIVE, NETWORK, ANONYMOUS and the
// AppContainer SIDs: whoever grants them a right grants it to every local user or app.
bool IsBroadGroup(std::wstring_view sid);

// The descriptor of a folder the component makes, in the platform's SDDL: owned by the user,
// protected (nothing inherited from above, where others may have rights), full control for
// SYSTEM, the Administrators and the user, read and run for the machine's users; each entry is
// inherited by what is made below.
std::wstring OwnFolderSddl(std::wstring_view userSid);
// The same without the users' read entry, for what only this user's runs read.
std::wstring PrivateSddl(std::wstring_view userSid);

}  // namespace FolderTrustRule
