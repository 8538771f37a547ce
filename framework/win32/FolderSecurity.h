#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "framework/FolderTrustRule.h"

// Security descriptors of folders and files: read through a handle, and given to what the
// component makes.
namespace FolderSecurity {

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

// The SID of the user this process runs as, in text form; nothing when it cannot be read.
std::optional<std::wstring> CurrentUserSid();

// A descriptor made from SDDL; null when the text is refused.
LocalDescriptor DescriptorFromSddl(const std::wstring& sddl);
// FolderTrustRule::OwnFolderSddl or PrivateSddl for the current user; null when it cannot be made.
LocalDescriptor OwnFolderDescriptor();
LocalDescriptor PrivateDescriptor();

// What the component makes in a folder for its own runs (its work folder, records, the settings
// file): a list private to this user, or none, so that it inherits the folder's list, where the
// folder was prepared for several users (PreparedFolderRule). A folder whose owner cannot be read
// gets the private list.
struct RecordDescriptor {
    bool inherited = false;
    LocalDescriptor descriptor;  // null when inherited, or when the private one cannot be made
    // For SECURITY_ATTRIBUTES: null means the inherited list.
    PSECURITY_DESCRIPTOR get() const { return descriptor.get(); }
    bool Usable() const { return inherited || descriptor != nullptr; }
};
RecordDescriptor RecordDescriptorIn(const std::wstring& folder);

// The facts of a descriptor: owner, whether there is an access list, and its entries.
FolderTrustRule::FolderFacts FactsOf(PSECURITY_DESCRIPTOR descriptor);

// The facts of an open file or folder, read through its handle (opened with READ_CONTROL).
// Nothing, with the system's error code in error, when they cannot be read.
std::optional<FolderTrustRule::FolderFacts> FactsOfOpen(HANDLE handle, DWORD& error);

// Opens the folder itself (a reparse point is not followed) and reads its facts through that
// handle. Nothing, with the system's error code in error, when it cannot be opened or read.
std::optional<FolderTrustRule::FolderFacts> ReadFolderFacts(const std::wstring& folder,
                                                            DWORD& error);

// Called with the facts of every folder ReadFolderFacts reads, which it may change: tests stand
// in for what Windows reports where Wine keeps no owner of its own. Empty: none.
using FactsObserver =
    std::function<void(const std::wstring& folder, FolderTrustRule::FolderFacts& facts)>;
void SetFactsObserver(FactsObserver observer);

// "DOMAIN\name" of a SID in text form, or the text itself when the system knows no name.
std::wstring AccountName(const std::wstring& sid);

// Makes the folder with the descriptor (none: the inherited one). ERROR_SUCCESS when it was
// made, ERROR_ALREADY_EXISTS when something of that name is there, else the system's error.
DWORD CreateFolder(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor);

// True when this process may create files and folders in the folder (asked of its access list;
// nothing is written).
bool CanCreateFilesIn(const std::wstring& folder);

}  // namespace FolderSecurity
