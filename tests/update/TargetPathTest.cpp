#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "update/TargetPath.h"

namespace {

std::wstring Folder(UINT (*query)(wchar_t*)) {
    wchar_t buffer[MAX_PATH] = {};
    query(buffer);
    return buffer;
}

std::wstring WindowsFolder() {
    return Folder([](wchar_t* b) { return GetWindowsDirectoryW(b, MAX_PATH); });
}

std::wstring ShellFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)) ? path : L"";
}

constexpr wchar_t kInstall[] = L"C:\\Pelko\\";

TEST(ResolveBaseFolder, EachFolderTypeGivesItsFolder) {
    const std::wstring windows = WindowsFolder();
    ASSERT_GE(windows.size(), 3u);
    const struct {
        int folderType;
        std::wstring expected;
    } cases[] = {
        {0, kInstall},
        {36, windows},
        {37, Folder([](wchar_t* b) { return GetSystemDirectoryW(b, MAX_PATH); })},
        {38, windows.substr(0, 2) + L"\\Program Files"},
        {60, Folder([](wchar_t* b) { return static_cast<UINT>(GetTempPathW(MAX_PATH, b)); })},
        {CSIDL_APPDATA, ShellFolderPath(CSIDL_APPDATA)},
        {CSIDL_DRIVES, L""},  // a virtual folder: the shell has no path for it
        {68, L"D:"},
        {-1, std::wstring(L"\xFFFF:")},
    };
    ASSERT_FALSE(ShellFolderPath(CSIDL_APPDATA).empty());
    for (const auto& c : cases)
        EXPECT_EQ(ResolveBaseFolder(c.folderType, kInstall), c.expected) << c.folderType;
}

TEST(ResolveTargetPath, JoinsTheBaseFolderTargetDirAndName) {
    const std::wstring windows = WindowsFolder();
    const struct {
        int folderType;
        const wchar_t* targetDir;
        const wchar_t* name;
        const wchar_t* install;
        std::wstring expected;
    } cases[] = {
        {68, L"Data", L"a.dat", kInstall, L"D:\\Data\\a.dat"},
        {0, L"", L"A.dll", L"C:\\Pelko\\", L"C:\\Pelko\\A.dll"},
        {0, L"", L"A.dll", L"C:\\Pelko", L"C:\\Pelko\\A.dll"},
        {0, L"bin\\x", L"A.dll", kInstall, L"C:\\Pelko\\bin\\x\\A.dll"},
        {CSIDL_DRIVES, L"Data", L"a.dll", kInstall, L"\\Data\\a.dll"},
        {36, L"", L"x.dll", kInstall, windows + L"\\x.dll"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveTargetPath(c.folderType, c.targetDir, c.name, c.install), c.expected)
            << c.folderType;
    }
}

}  // namespace
