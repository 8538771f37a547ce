#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <optional>
#include <string>

#include "support/common/TestFolder.h"
#include "update/EntryPathRule.h"
#include "update/ManifestPaths.h"
#include "update/TargetPath.h"
#include "update/TargetPlace.h"

namespace {

// The target of an entry, when the one rule lets its file go there.
std::optional<std::wstring> ContainedTargetPath(int folderType, std::wstring_view targetDir,
                                                std::wstring_view name,
                                                std::wstring_view installFolder) {
    const auto place = TargetPlace::OfEntry(folderType, targetDir, name, installFolder);
    if (!place) return std::nullopt;
    return place->target;
}

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

// Where the platform really puts a file opened at path; nothing when it cannot be created.
std::optional<std::wstring> WhereCreateFileOpens(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    wchar_t final[1024] = L"";
    const DWORD length = GetFinalPathNameByHandleW(file, final, 1024, VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= 1024) return std::nullopt;
    std::wstring where(final, length);
    if (where.rfind(L"\\\\?\\", 0) == 0) where.erase(0, 4);
    return where;
}

// The rule judges each tricky text as the platform resolves it: whatever it accepts, both
// GetFullPathNameW and CreateFileW place inside the base folder; what it refuses, nothing
// below it asks the platform about.
TEST(ContainedTargetPath, AcceptsOnlyWhatThePlatformPlacesInsideTheBase) {
    const testsupport::TestFolder install;
    CreateDirectoryW((install / L"a").c_str(), nullptr);
    const std::wstring longPart(200, L'x');
    const struct {
        const wchar_t* targetDir;
        std::wstring name;
        bool accepted;
    } cases[] = {
        {L"", L"A.dll", true},
        {L"a", L"A.dll", true},
        {L"a\\", L"A.dll", true},
        {L"a/", L"A.dll", true},
        {L"..", L"escA.txt", false},
        {L"..\\escA", L"x.txt", false},
        {L".\\..", L"x.txt", false},
        {L"a\\..\\..", L"x.txt", false},
        {L"a\\..", L"x.txt", false},
        {L"a.", L"x.txt", false},
        {L"a ", L"x.txt", false},
        {L"", L"..\\escB.txt", false},
        {L"", L"..", false},
        {L"", L"x.txt.", false},
        {L"", L"x.txt ", false},
        {L"\\\\?\\C:\\x", L"x.txt", false},
        {L"\\\\.\\C:", L"x.txt", false},
        {L"C:x", L"x.txt", false},
        {L"C:\\x", L"x.txt", false},
        {L"\\\\host.invalid\\share", L"x.txt", false},
        {L"//host.invalid/share", L"x.txt", false},
        {L"/x", L"x.txt", false},
        {L"\\x", L"x.txt", false},
        {L"", L"CON", false},
        {L"", L"nul.txt", false},
        {L"", L"COM1", false},
        {L"aux", L"x.txt", false},
        {L"", L"x.txt:stream", false},
        {L"", L"", false},
        {longPart.c_str(), longPart, true},
    };
    for (const auto& c : cases) {
        const std::string label = testing::PrintToString(std::wstring(c.targetDir)) + " " +
                                  testing::PrintToString(c.name);
        const auto target = ContainedTargetPath(0, c.targetDir, c.name, install.Path());
        EXPECT_EQ(target.has_value(), c.accepted) << label;
        if (!target) continue;
        const auto full = FullPathOf(*target);
        ASSERT_TRUE(full) << label;
        EXPECT_TRUE(EntryPathRule::LiesInside(install.Path(), *full)) << label;
        if (target->size() >= MAX_PATH) continue;  // beyond what the ordinary calls open
        const auto opened = WhereCreateFileOpens(*target);
        ASSERT_TRUE(opened) << label;
        EXPECT_TRUE(EntryPathRule::LiesInside(install.Path(), *opened)) << label;
    }
}

// The rule the check, the commit and recovery share, judged on places as a journal names them.
TEST(TargetPlace, OnlyTheInstallFolderAndTheBuildsFolderTypesTakeFiles) {
    const std::wstring install = L"C:\\Corvane\\Pelko\\";
    wchar_t tempText[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempText);
    const std::wstring temp = tempText;
    wchar_t windowsText[MAX_PATH] = {};
    GetWindowsDirectoryW(windowsText, MAX_PATH);
    const std::wstring windows = std::wstring(windowsText) + L"\\";
    ASSERT_EQ(TargetPlace::AllowedFolderTypes(), (std::vector<int>{60, 67}))
        << "the test build allows the temporary folder's type and drive C:";
    const struct {
        const char* name;
        std::wstring base;
        std::wstring target;
        bool accepted;
    } cases[] = {
        {"in the install folder", install, install + L"A.dll", true},
        {"below it", install, install + L"bin\\A.dll", true},
        {"in an allowed type's folder", temp, temp + L"A.dll", true},
        {"the Windows folder", windows, windows + L"A.dll", false},
        {"an allowed drive root", L"C:\\", L"C:\\A.dll", true},
        {"the work folder from an allowed drive root", L"C:\\",
         install + L"~PelkoUpdate\\A.dll", false},
        {"a drive root not in the list", L"D:\\", L"D:\\A.dll", false},
        {"the install folder's parent", L"C:\\Corvane\\", L"C:\\Corvane\\A.dll", false},
        {"the system folder", windows + L"system32\\", windows + L"system32\\A.dll", false},
        {"the work folder", install, install + L"~PelkoUpdate\\A.dll", false},
        {"the work folder in other letters", install, install + L"~PELKOUPDATE\\A.dll", false},
        {"out of the base", install, install + L"..\\A.dll", false},
        {"another base than the target's", temp, install + L"A.dll", false},
        {"a slash", install, install + L"bin/A.dll", false},
        {"a stream", install, install + L"A.dll:x", false},
        {"a base without its backslash", L"C:\\Corvane\\Pelko", install + L"A.dll", false},
        {"a network base", L"\\\\host.invalid\\share\\", L"\\\\host.invalid\\share\\A.dll", false},
    };
    for (const auto& c : cases) {
        const auto refusal = TargetPlace::Refusal({c.base, c.target}, install);
        EXPECT_EQ(!refusal.has_value(), c.accepted) << c.name;
    }
}

TEST(TargetPlace, FolderTypesOutsideTheBuildsListTakeNoEntry) {
    wchar_t tempText[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempText);
    for (const int type : {36, 37, 38, CSIDL_STARTUP, CSIDL_APPDATA, 68})
        EXPECT_FALSE(TargetPlace::OfEntry(type, L"", L"a.dll", L"C:\\Pelko\\")) << type;
    const auto temp = TargetPlace::OfEntry(60, L"x", L"a.dll", L"C:\\Pelko\\");
    ASSERT_TRUE(temp);
    EXPECT_EQ(temp->base, tempText);
    EXPECT_EQ(temp->target, std::wstring(tempText) + L"x\\a.dll");
    EXPECT_FALSE(TargetPlace::OfEntry(0, L"~PelkoUpdate", L"a.dll", L"C:\\Pelko\\"));
    EXPECT_FALSE(TargetPlace::OfEntry(0, L"~PelkoUpdate/staged", L"a.dll", L"C:\\Pelko\\"));
}

TEST(ContainedTargetPath, ABaseThatIsNoLocalFolderTakesNoEntry) {
    const wchar_t* const dirs[] = {L"", L"x", L"\\\\host.invalid\\share"};
    for (const wchar_t* dir : dirs) {
        EXPECT_FALSE(ContainedTargetPath(65536, dir, L"a.dll", L"C:\\Pelko\\"));  // no drive
        EXPECT_FALSE(ContainedTargetPath(CSIDL_DRIVES, dir, L"a.dll", L"C:\\Pelko\\"));
        EXPECT_FALSE(ContainedTargetPath(-1, dir, L"a.dll", L"C:\\Pelko\\"));
        EXPECT_FALSE(ContainedTargetPath(0, dir, L"a.dll", L""));
        EXPECT_FALSE(ContainedTargetPath(0, dir, L"a.dll", L"\\\\host.invalid\\share\\"));
    }
    EXPECT_FALSE(ContainedTargetPath(68, L"Data", L"a.dat", L"C:\\Pelko\\"))
        << "a drive is no folder type this build installs into";
    EXPECT_EQ(ContainedTargetPath(0, L"bin/x", L"A.dll", L"C:\\Pelko\\"),
              L"C:\\Pelko\\bin\\x\\A.dll");
    EXPECT_EQ(ContainedTargetPath(0, L"bin\\x", L"A.dll", L"C:\\Pelko"),
              L"C:\\Pelko\\bin\\x\\A.dll");
}

}  // namespace
