#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "update/CInstallLiteNotify.h"
#include "update/CRudovuZadoNotify.h"
#include "update/ManifestDate.h"
#include "update/ManifestPaths.h"

namespace {

using ManifestPaths::BaseFolderKind;

struct DateCase {
    const wchar_t* text;
    ManifestDate expected;
};

TEST(ParseManifestDate, EachSeparatorMovesToTheNextField) {
    const DateCase cases[] = {
        {L"2013-05-02 17:30", {2013, 5, 2, 17, 30}},
        {L"2013-5-2 7:05", {2013, 5, 2, 7, 5}},
        {L"2013-05-02 17:30:45", {2013, 5, 2, 17, 30}},  // seconds dropped
        // Slashes are no separators: the first field runs up to the blank.
        {L"2013/05/02 17:30", {2013, 17, 30, 0, 0}},
        {L"2013--05", {2013, 0, 5, 0, 0}},
        {L"2013-05-02  17:30", {2013, 5, 2, 0, 17}},
        {L" 2013-05-02 17:30", {0, 2013, 5, 2, 17}},
        {L"12ab-3x", {12, 3, 0, 0, 0}},
        {L"x2013-05", {0, 5, 0, 0, 0}},
        {L"", {0, 0, 0, 0, 0}},
        {L"1-2-3-4-5-6-7", {1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        const ManifestDate got = ParseManifestDate(c.text);
        EXPECT_EQ(got, c.expected)
            << "\"" << testing::PrintToString(std::wstring(c.text)) << "\" gave " << got.year << " "
            << got.month << " " << got.day << " " << got.hour << " " << got.minute;
    }
}

TEST(ParseManifestDate, AnOverlongFieldStaysOutOfRangeInsteadOfWrapping) {
    const ManifestDate date = ParseManifestDate(L"99999999999999999999-5-2 7:05");
    EXPECT_GT(date.year, 30827);  // beyond any year the platform accepts
    EXPECT_EQ(date.month, 5);
}

TEST(ManifestPaths, FolderTypeChoosesTheBaseFolderKind) {
    const struct {
        int folderType;
        BaseFolderKind kind;
    } cases[] = {
        {0, BaseFolderKind::Install},       {1, BaseFolderKind::Shell},
        {26, BaseFolderKind::Shell},        {35, BaseFolderKind::Shell},
        {36, BaseFolderKind::Windows},      {37, BaseFolderKind::System},
        {38, BaseFolderKind::ProgramFiles}, {39, BaseFolderKind::Shell},
        {59, BaseFolderKind::Shell},        {60, BaseFolderKind::Temp},
        {61, BaseFolderKind::Drive},        {68, BaseFolderKind::Drive},
        {-1, BaseFolderKind::Drive},        {INT_MIN, BaseFolderKind::Drive},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestPaths::BaseFolderKindOf(c.folderType), c.kind) << c.folderType;
}

TEST(ManifestPaths, DriveFolderTakesTheValueAsACharacterCode) {
    EXPECT_EQ(ManifestPaths::DriveFolder(68), L"D:");
    EXPECT_EQ(ManifestPaths::DriveFolder(69), L"E:");
    EXPECT_EQ(ManifestPaths::DriveFolder(0x10044), L"D:");  // one UTF-16 code unit
    EXPECT_EQ(ManifestPaths::DriveFolder(-1), std::wstring(L"\xFFFF:"));
    // No NUL inside a path: the base is empty, as for a folder the shell cannot give.
    EXPECT_EQ(ManifestPaths::DriveFolder(0x10000), L"");
}

TEST(ManifestPaths, ProgramFilesIsOnTheDriveOfTheWindowsFolder) {
    EXPECT_EQ(ManifestPaths::ProgramFilesFolder(L"C:\\windows"), L"C:\\Program Files");
    EXPECT_EQ(ManifestPaths::ProgramFilesFolder(L"e:\\"), L"e:\\Program Files");
    EXPECT_EQ(ManifestPaths::ProgramFilesFolder(L"\\\\server\\share\\windows"), L"\\Program Files");
    EXPECT_EQ(ManifestPaths::ProgramFilesFolder(L""), L"\\Program Files");
}

TEST(ManifestPaths, TargetPathJoinsBaseFolderTargetDirAndName) {
    const struct {
        const wchar_t* base;
        const wchar_t* targetDir;
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Pelko\\", L"", L"A.dll", L"C:\\Pelko\\A.dll"},
        {L"C:\\Pelko", L"", L"A.dll", L"C:\\Pelko\\A.dll"},
        {L"C:\\Pelko\\", L"bin\\x", L"A.dll", L"C:\\Pelko\\bin\\x\\A.dll"},
        {L"C:\\Pelko\\", L"bin\\x\\", L"A.dll", L"C:\\Pelko\\bin\\x\\A.dll"},
        {L"D:", L"Data", L"a.dat", L"D:\\Data\\a.dat"},
        {L"", L"", L"a.dll", L"\\a.dll"},
        {L"", L"Data", L"a.dll", L"\\Data\\a.dll"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ManifestPaths::ComposeTargetPath(c.base, c.targetDir, c.name), c.expected)
            << testing::PrintToString(std::wstring(c.expected));
    }
}

TEST(ManifestPaths, PackageUrlUsesForwardSlashesThroughout) {
    const struct {
        const wchar_t* updateUrl;
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"http://127.0.0.1/Patch", L"A.dll", L"http://127.0.0.1/Patch/RudovuZado/A.dll.zip"},
        {L"http://127.0.0.1/Patch/", L"A.dll", L"http://127.0.0.1/Patch/RudovuZado/A.dll.zip"},
        {L"X\\Patch", L"A.dll", L"X/Patch/RudovuZado/A.dll.zip"},
        {L"http://127.0.0.1/Patch", L"sub\\a.dll",
         L"http://127.0.0.1/Patch/RudovuZado/sub/a.dll.zip"},
        {L"", L"A.dll", L"/RudovuZado/A.dll.zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ManifestPaths::BuildPackageUrl(c.updateUrl, c.name), c.expected)
            << testing::PrintToString(std::wstring(c.expected));
    }
}

// A signed manifest's Object becomes part of the package URL: only objects/<64 lower-case hex
// digits>.zip is taken, so the URL names a file of that folder and nothing else.
TEST(ManifestPaths, ObjectNameIsExactlyOneFileOfTheObjectsFolder) {
    const std::wstring hex = L"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const std::wstring good = L"objects/" + hex + L".zip";
    std::wstring upper = good;
    upper[8] = L'A';
    upper[20] = L'F';
    std::wstring withNul = good;
    withNul[30] = L'\0';
    const struct {
        std::wstring object;
        bool accepted;
    } cases[] = {
        {good, true},
        {L"objects/" + std::wstring(64, L'f') + L".zip", true},
        {L"", false},
        {upper, false},
        {L"objects/" + hex.substr(1) + L".zip", false},
        {L"objects/" + hex + L"0.zip", false},
        {L"objects\\" + hex + L".zip", false},  // the URL builder would make it a "/"
        {L"/objects/" + hex + L".zip", false},
        {L"./objects/" + hex + L".zip", false},
        {L"Objects/" + hex + L".zip", false},
        {L"objects/" + hex + L".ZIP", false},
        {L"objects/" + hex + L".pdelta", false},
        {L"objects/" + hex + L".zip?", false},
        {L"objects/" + hex + L".zip ", false},
        {L" objects/" + hex.substr(1) + L".zip", false},
        {L"objects/" + hex.substr(0, 63) + L"/.zip", false},
        {L"objects/../" + hex.substr(3) + L".zip", false},
        {L"objects/" + hex.substr(0, 58) + L"%2e%2e.zip", false},
        {L"objects/" + hex.substr(0, 63) + L"g.zip", false},
        {L"objects/" + hex.substr(0, 63) + L"\uff10.zip", false},  // a full-width digit
        {withNul, false},
        {L"RudovuZado/" + hex + L".zip", false},
        {L"http://127.0.0.2/objects/" + hex + L".zip", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestPaths::IsObjectName(c.object), c.accepted)
            << testing::PrintToString(c.object);
}

TEST(ManifestPaths, PackageUrlIsTheObjectWhenTheEntryNamesOne) {
    const std::wstring object =
        L"objects/0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef.zip";
    const struct {
        const wchar_t* updateUrl;
        std::wstring object;
        std::wstring expected;
    } cases[] = {
        {L"http://127.0.0.1/Patch", object, L"http://127.0.0.1/Patch/" + object},
        {L"http://127.0.0.1/Patch/", object, L"http://127.0.0.1/Patch/" + object},
        {L"http://127.0.0.1/Patch", L"", L"http://127.0.0.1/Patch/RudovuZado/A.dll.zip"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestPaths::PackageUrlOf(c.updateUrl, L"A.dll", c.object), c.expected);
}

TEST(ManifestPaths, TypeFilterMatchesExactlyAndCaseSensitively) {
    const std::vector<std::wstring> none;
    const std::vector<std::wstring> common{L"Common"};
    const std::vector<std::wstring> two{L"Agent", L"Common"};
    EXPECT_TRUE(ManifestPaths::TypeAccepted(none, L"Anything"));
    EXPECT_TRUE(ManifestPaths::TypeAccepted(none, L""));
    EXPECT_TRUE(ManifestPaths::TypeAccepted(common, L"Common"));
    EXPECT_FALSE(ManifestPaths::TypeAccepted(common, L"common"));
    EXPECT_FALSE(ManifestPaths::TypeAccepted(common, L"Common "));
    EXPECT_FALSE(ManifestPaths::TypeAccepted(common, L""));
    EXPECT_TRUE(ManifestPaths::TypeAccepted(two, L"Common"));
    EXPECT_FALSE(ManifestPaths::TypeAccepted(two, L"Desk"));
}

TEST(ManifestPaths, DllExtensionIsThatOfTheLastComponentInAnyCase) {
    const struct {
        const wchar_t* path;
        bool dll;
    } cases[] = {
        {L"a.dll", true}, {L"a.DLL", true},  {L"C:\\x.y\\b.Dll", true}, {L"dir/a.DLL", true},
        {L".dll", true},  {L"a.ocx", false}, {L"a.dll.bak", false},     {L"a.dlll", false},
        {L"a.", false},   {L"a", false},     {L"C:\\x.dll\\a", false},  {L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestPaths::HasDllExtension(c.path), c.dll)
            << testing::PrintToString(std::wstring(c.path));
}

// With the Itanium C++ ABI a pointer to a virtual member holds 1 + its byte offset in the table,
// and a virtual destructor fills two entries at the start.
template <typename Member>
std::ptrdiff_t TableEntryOf(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    return (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(NotifyInterfaces, OperationsFollowTheDestructorInInterfaceOrder) {
    EXPECT_EQ(TableEntryOf(&CRudovuZadoNotify::OnUpdateProgress), 2);
    EXPECT_EQ(TableEntryOf(&CRudovuZadoNotify::OnUpdateComplete), 3);
    EXPECT_EQ(TableEntryOf(&CRudovuZadoNotify::OnUpdateError), 4);
    EXPECT_EQ(TableEntryOf(&CRudovuZadoNotify::OnUpdateStopped), 5);
    EXPECT_EQ(TableEntryOf(&CInstallLiteNotify::OnInstallProgress), 2);
    EXPECT_EQ(TableEntryOf(&CInstallLiteNotify::OnInstallComplete), 3);
    EXPECT_EQ(TableEntryOf(&CInstallLiteNotify::OnInstallError), 4);
    EXPECT_EQ(TableEntryOf(&CInstallLiteNotify::OnInstallStopped), 5);
}

TEST(FileBound, ExactWhenSignedWithSlackWhenUnsigned) {
    constexpr std::uint64_t kKiB = 1024;
    const struct {
        long long fileSize;
        bool signedManifest;
        std::uint64_t bound;
    } cases[] = {
        {0, true, 0},
        {0, false, 0},  // no FileSize: no bound
        {-5, false, 0},
        {1, true, 1},
        {1, false, 1 + 64 * kKiB},
        {1024 * kKiB, false, 1024 * kKiB + 64 * kKiB},  // 1/16 is 64 KiB exactly
        {1024 * kKiB + 16, false, 1024 * kKiB + 16 + 64 * kKiB + 1},
        {16 * 1024 * kKiB, true, 16 * 1024 * kKiB},
        {16 * 1024 * kKiB, false, 17 * 1024 * kKiB},
        {INT_MAX, false, std::uint64_t{INT_MAX} + INT_MAX / 16},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestPaths::FileBound(c.fileSize, c.signedManifest), c.bound)
            << c.fileSize << " " << c.signedManifest;
}

TEST(PackageBodyBound, TheFileStoredWithRoomForItsRecords) {
    constexpr std::uint64_t kRecords = 256u << 10;
    EXPECT_EQ(ManifestPaths::PackageBodyBound(0), 0u);  // no FileSize: no bound
    EXPECT_EQ(ManifestPaths::PackageBodyBound(-1), 0u);
    EXPECT_EQ(ManifestPaths::PackageBodyBound(1), 1 + kRecords);
    EXPECT_EQ(ManifestPaths::PackageBodyBound(409600), 409600 + 100 + kRecords);
    EXPECT_EQ(ManifestPaths::PackageBodyBound(INT_MAX),
              std::uint64_t{INT_MAX} + INT_MAX / 4096 + kRecords);
}

}  // namespace
