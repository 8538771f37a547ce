#include "UpdateTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "framework/PathText.h"

namespace updatetest {

namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void CreateFolders(const std::wstring& folder) {
    if (folder.empty() || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    CreateFolders(PathText::FolderPart(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return PathText::FolderPart(path);
}

}  // namespace

TestFolder::TestFolder() {
    static std::atomic<int> serial{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = PathText::AppendBackslash(temp) + L"pelko_update_" +
             std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial) + L"\\";
    RemoveTree(m_path);
    if (!CreateDirectoryW(m_path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create the test folder";
}

TestFolder::~TestFolder() { RemoveTree(m_path); }

void WriteTextFile(const std::wstring& path, std::string_view text) {
    CreateFolders(PathText::FolderPart(path));
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(file.good()) << "cannot write a test file";
}

void SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour,
                       WORD minute, WORD second) {
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    local.wSecond = second;
    FILETIME localTime;
    FILETIME utcTime;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utcTime));
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const BOOL set = SetFileTime(file, nullptr, nullptr, &utcTime);
    CloseHandle(file);
    ASSERT_TRUE(set);
}

void CopyTestDll(const wchar_t* dllName, const std::wstring& path) {
    CreateFolders(PathText::FolderPart(path));
    const std::wstring source = PathText::Join(ProgramFolder(), dllName);
    ASSERT_TRUE(CopyFileW(source.c_str(), path.c_str(), FALSE)) << "test DLL missing";
}

std::string RegistrationLog(const std::wstring& dllPath) {
    std::ifstream file((dllPath + L".log").c_str(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int RegistrationCount(const std::wstring& dllPath) {
    const std::string log = RegistrationLog(dllPath);
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

}  // namespace updatetest
