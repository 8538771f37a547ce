#include "loader/LaunchFixture.h"

// After windows.h, which they build on.
#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>

#include "config/DeploymentValues.h"
#include "framework/win32/FolderSecurity.h"
#include "update/CInstalledRelease.h"
#include "update/UpdateWorkPaths.h"

namespace {

constexpr DWORD kRecordWaitMs = 20000;
constexpr DWORD kPollMs = 20;
constexpr DWORD kProgramWaitMs = 60000;

void WaitForExit(DWORD pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return;  // already gone
    WaitForSingleObject(process, kRecordWaitMs);
    CloseHandle(process);
}

}  // namespace

void LaunchFixture::SetUp() {
    CleanInstallFolder();
    CreateDirectoryW(L"C:\\Corvane", nullptr);
    CreateDirectoryW(kInstallFolder, nullptr);
}

void LaunchFixture::TearDown() { CleanInstallFolder(); }

namespace {

// Removes the files directly in a folder, then the folder.
void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

void LaunchFixture::CleanInstallFolder() {
    std::vector<std::wstring> names = {L"PelkoWebLoader.ini", L"hosts.ini"};
    for (const wchar_t* loader : kLoaders) {
        names.push_back(std::wstring(loader) + L".exe");
        names.push_back(std::wstring(loader) + L".record.txt");
        names.push_back(std::wstring(loader) + L".record.txt.partial");
    }
    for (const auto& name : names) DeleteSoon(InInstallFolder(name));
    // What a start operation's update run keeps in the install folder.
    const std::wstring work = UpdateWorkPaths::WorkFolder(kInstallFolder);
    for (const std::wstring& folder :
         {UpdateWorkPaths::ManifestFolder(work), UpdateWorkPaths::PartsFolder(work),
          UpdateWorkPaths::StagedFolder(work)})
        RemoveFolderTree(folder);
    for (const std::wstring& file :
         {UpdateWorkPaths::LockFile(work), UpdateWorkPaths::JournalFile(work),
          work + L"\\" + CInstalledRelease::fileName})
        DeleteSoon(file);
    RemoveDirectoryW(work.c_str());
}

std::wstring LaunchFixture::AllowedServer() {
    return std::wstring(L"http://") + DeploymentValues::kAllowedDomain1 + L":8080/CvUpdate/Pelko";
}

std::wstring LaunchFixture::ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring LaunchFixture::CurrentFolder() {
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

std::wstring LaunchFixture::InInstallFolder(const std::wstring& name) {
    return kInstallFolder + name;
}

std::wstring LaunchFixture::SettingsPath() { return InInstallFolder(L"PelkoWebLoader.ini"); }

bool LaunchFixture::Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void LaunchFixture::InstallFakeLoaders() {
    for (const wchar_t* loader : kLoaders) {
        const std::wstring exe = std::wstring(loader) + L".exe";
        ASSERT_TRUE(CopyFileW((ProgramFolder() + exe).c_str(), InInstallFolder(exe).c_str(), FALSE))
            << Utf8(exe);
    }
}

void LaunchFixture::WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.flush()) << Utf8(path);
}

std::string LaunchFixture::ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

bool IsOutcomeKey(const IniEntries::value_type& entry) {
    return entry.first == L"UpdateResult" || entry.first == L"ReleaseSerial";
}

}  // namespace

IniEntries LaunchFixture::SettingsEntries() {
    IniEntries entries = AllSettingsEntries();
    std::erase_if(entries, IsOutcomeKey);
    return entries;
}

IniEntries LaunchFixture::OutcomeEntries() {
    IniEntries entries = AllSettingsEntries();
    std::erase_if(entries, [](const auto& entry) { return !IsOutcomeKey(entry); });
    return entries;
}

IniEntries LaunchFixture::AllSettingsEntries() {
    wchar_t buffer[4096] = {};
    GetPrivateProfileSectionW(L"PelkoWebLoader", buffer, 4096, SettingsPath().c_str());
    IniEntries entries;
    for (const wchar_t* item = buffer; *item != L'\0'; item += wcslen(item) + 1) {
        const std::wstring line = item;
        const size_t equals = line.find(L'=');
        entries.emplace_back(line.substr(0, equals),
                             equals == std::wstring::npos ? L"" : line.substr(equals + 1));
    }
    return entries;
}

// A loader named by its path without ".exe", or by its name in the install folder.
std::wstring LaunchFixture::LoaderPath(const std::wstring& loader) {
    const bool fullPath = loader.size() > 1 && loader[1] == L':';
    return fullPath ? loader : InInstallFolder(loader);
}

std::optional<LoaderRecord> LaunchFixture::WaitForRecord(const std::wstring& loader) {
    const std::wstring path = LoaderPath(loader) + L".record.txt";
    for (DWORD waited = 0; waited < kRecordWaitMs; waited += kPollMs) {
        if (Exists(path)) {
            // Right after the move the program may still hold the file, without sharing its
            // deletion: the read then finds nothing, and the next poll reads it whole.
            LoaderRecord record = LoaderRecord::Parse(ReadBytes(path));
            if (record.pid != 0) {
                WaitForExit(record.pid);
                return record;
            }
        }
        Sleep(kPollMs);
    }
    return std::nullopt;
}

int LaunchFixture::RunProgram(const std::wstring& programPath, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + programPath + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(programPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kProgramWaitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, exitCode);
        WaitForSingleObject(process.hProcess, kProgramWaitMs);
    }
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

bool LaunchFixture::LoaderStarted(const std::wstring& loader) {
    const std::wstring program = LoaderPath(loader) + L".exe";
    // The processes first: one that ends after the look has written its record by then.
    bool running = false;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !running;
         more = Process32NextW(snapshot, &entry)) {
        const HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process) continue;
        wchar_t path[MAX_PATH] = L"";
        DWORD size = MAX_PATH;
        running = QueryFullProcessImageNameW(process, 0, path, &size) &&
                  CompareStringOrdinal(path, -1, program.c_str(), -1, TRUE) == CSTR_EQUAL;
        CloseHandle(process);
    }
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
    return running || Exists(LoaderPath(loader) + L".record.txt");
}

namespace {

bool RemoveSoon(const std::wstring& path, BOOL(WINAPI* remove)(LPCWSTR)) {
    for (DWORD waited = 0; waited < kRecordWaitMs; waited += kPollMs) {
        if (remove(path.c_str())) return true;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        Sleep(kPollMs);
    }
    ADD_FAILURE() << "cannot delete " << Utf8(path);
    return false;
}

}  // namespace

bool LaunchFixture::DeleteSoon(const std::wstring& path) { return RemoveSoon(path, DeleteFileW); }

bool LaunchFixture::RemoveFolderSoon(const std::wstring& path) {
    return RemoveSoon(path, RemoveDirectoryW);
}

DWORD SetAccessList(const std::wstring& folder, const std::wstring& sddl) {
    const FolderSecurity::LocalDescriptor descriptor = FolderSecurity::DescriptorFromSddl(sddl);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted))
        return ERROR_INVALID_PARAMETER;
    const HANDLE handle = CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD result = SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, dacl, nullptr);
    CloseHandle(handle);
    return result;
}

std::wstring AccessListText(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &raw) != ERROR_SUCCESS)
        return {};
    const FolderSecurity::LocalDescriptor descriptor(raw);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            raw, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    const FolderSecurity::LocalDescriptor ownedText(text);
    return text;
}

std::wstring Snapshot(const std::wstring& path) {
    std::wstring text;
    WIN32_FIND_DATAW found;
    const auto add = [&](const WIN32_FIND_DATAW& f) {
        text += std::wstring(f.cFileName) + L" " + std::to_wstring(f.nFileSizeLow) + L" " +
                std::to_wstring(f.ftLastWriteTime.dwLowDateTime) + L" " +
                std::to_wstring(f.ftLastWriteTime.dwHighDateTime) + L"\n";
    };
    const HANDLE self = FindFirstFileW(path.c_str(), &found);
    if (self == INVALID_HANDLE_VALUE) return L"missing";
    add(found);
    FindClose(self);
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return text;
    do add(found);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return text;
}
