#include "framework/win32/FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <mutex>
#include <vector>

#include "framework/PreparedFolderRule.h"
#include "framework/win32/UniqueHandle.h"

namespace FolderSecurity {

namespace {

std::mutex g_observerLock;
FactsObserver g_factsObserver;

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return {};
    const LocalDescriptor owned(text);
    return text;
}

LocalDescriptor UserDescriptor(std::wstring (*sddlFor)(std::wstring_view)) {
    const std::optional<std::wstring> sid = CurrentUserSid();
    if (!sid) return nullptr;
    return DescriptorFromSddl(sddlFor(*sid));
}

FolderTrustRule::AccessEntry EntryOf(const ACE_HEADER* header) {
    FolderTrustRule::AccessEntry entry;
    entry.inherited = (header->AceFlags & INHERITED_ACE) != 0;
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE: {
        const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        entry.allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        entry.mask = ace->Mask;
        entry.sid = SidText(const_cast<DWORD*>(&ace->SidStart));
        break;
    }
    default:
        // A kind not read here counts as everything for someone unknown.
        entry.mask = 0xFFFFFFFF;
        break;
    }
    return entry;
}

}  // namespace

std::optional<std::wstring> CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        return std::nullopt;
    const std::wstring text = SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    if (text.empty()) return std::nullopt;
    return text;
}

LocalDescriptor DescriptorFromSddl(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return LocalDescriptor(descriptor);
}

LocalDescriptor OwnFolderDescriptor() { return UserDescriptor(&FolderTrustRule::OwnFolderSddl); }

LocalDescriptor PrivateDescriptor() { return UserDescriptor(&FolderTrustRule::PrivateSddl); }

FolderTrustRule::FolderFacts FactsOf(PSECURITY_DESCRIPTOR descriptor) {
    FolderTrustRule::FolderFacts facts;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) facts.ownerSid = SidText(owner);
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        facts.hasAccessList = false;
        return facts;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        const ACE_HEADER unreadable{0xFF, 0, 0};
        facts.entries.push_back(EntryOf(GetAce(dacl, i, &ace)
                                            ? static_cast<const ACE_HEADER*>(ace)
                                            : &unreadable));
    }
    return facts;
}

std::optional<FolderTrustRule::FolderFacts> ReadFolderFacts(const std::wstring& folder,
                                                            DWORD& error) {
    const UniqueHandle handle(CreateFileW(
        folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
        nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return std::nullopt;
    }
    std::optional<FolderTrustRule::FolderFacts> facts = FactsOfOpen(handle.get(), error);
    FactsObserver observer;
    {
        std::lock_guard<std::mutex> guard(g_observerLock);
        observer = g_factsObserver;
    }
    if (facts && observer) observer(folder, *facts);
    return facts;
}

std::optional<FolderTrustRule::FolderFacts> FactsOfOpen(HANDLE handle, DWORD& error) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        error = GetLastError();
        return std::nullopt;
    }
    PSECURITY_DESCRIPTOR raw = nullptr;
    error = GetSecurityInfo(handle, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &raw);
    if (error != ERROR_SUCCESS) return std::nullopt;
    const LocalDescriptor descriptor(raw);
    FolderTrustRule::FolderFacts facts = FactsOf(descriptor.get());
    facts.isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return facts;
}

void SetFactsObserver(FactsObserver observer) {
    std::lock_guard<std::mutex> guard(g_observerLock);
    g_factsObserver = std::move(observer);
}

RecordDescriptor RecordDescriptorIn(const std::wstring& folder) {
    DWORD error = ERROR_SUCCESS;
    const auto facts = ReadFolderFacts(folder, error);
    if (facts && PreparedFolderRule::IsPrepared(*facts)) return {true, nullptr};
    return {false, PrivateDescriptor()};
}

std::wstring AccountName(const std::wstring& sid) {
    PSID raw = nullptr;
    if (sid.empty() || !ConvertStringSidToSidW(sid.c_str(), &raw)) return sid;
    const LocalDescriptor owned(raw);
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (!LookupAccountSidW(nullptr, raw, name, &nameSize, domain, &domainSize, &use)) return sid;
    return domain[0] != L'\0' ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

DWORD CreateFolder(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    if (CreateDirectoryW(folder.c_str(), descriptor ? &attributes : nullptr)) return ERROR_SUCCESS;
    return GetLastError();
}

bool CanCreateFilesIn(const std::wstring& folder) {
    // Opening the folder for these rights asks its access list without writing anything, so a
    // launch with nothing to fetch leaves the install folder as it was.
    const HANDLE handle = CreateFileW(folder.c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

}  // namespace FolderSecurity
