#include "UpdateTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "framework/PathText.h"

namespace updatetest {

namespace {

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
    // With the zone's offset on that date, as the component reads file times.
    SYSTEMTIME utc;
    FILETIME utcTime;
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &utcTime));
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
