#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "UpdateTestFiles.h"
#include "support/CIni.h"
#include "update/CFileContent.h"
#include "update/ManifestPaths.h"

// Readable failure messages.
void PrintTo(const ManifestEntry& e, std::ostream* os) {
    *os << testing::PrintToString(e.name) << " " << e.folderType << " "
        << testing::PrintToString(e.targetDir) << " " << testing::PrintToString(e.modifyDate) << " "
        << e.fileSize << " " << e.registerDll << " " << e.checkDate << " "
        << testing::PrintToString(e.type);
}

namespace {

using updatetest::TestFolder;
using updatetest::WriteTextFile;

constexpr char kManifest[] =
    "[Zeta.dll]\r\n"
    "FolderType=37\r\n"
    "TargetDir=bin\\x\r\n"
    "ModifyDate=2013-05-02 17:30\r\n"
    "FileSize=12345\r\n"
    "Register=1\r\n"
    "CheckDate=1\r\n"
    "Type=Common\r\n"
    "Sha256=00ff\r\n"
    "\r\n"
    "[Alpha.dat]\r\n"
    "\r\n"
    "[neg.ocx]\r\n"
    "FolderType=-1\r\n"
    "ModifyDate=2013/05/02 17:30\r\n"
    "Register=yes\r\n"
    "CheckDate=0\r\n"
    "Type=common\r\n";

std::vector<ManifestEntry> Entries(const CFileContent& content) {
    return {content.Entries().begin(), content.Entries().end()};
}

TEST(CFileContent, ReadsEveryKeyOfEverySectionInFileOrder) {
    TestFolder folder;
    WriteTextFile(folder / L"RudovuZado.ini", kManifest);
    CFileContent content;
    ASSERT_TRUE(content.Load((folder / L"RudovuZado.ini").c_str()));
    // The middle section has no keys: every default.
    const std::vector<ManifestEntry> expected{
        {L"Zeta.dll", 37, L"bin\\x", L"2013-05-02 17:30", 12345, TRUE, TRUE, L"Common", L"00ff", L"", {}},
        {L"Alpha.dat", 0, L"", L"", 0, FALSE, FALSE, L"", L"", L"", {}},
        {L"neg.ocx", -1, L"", L"2013/05/02 17:30", 0, TRUE, FALSE, L"common", L"", L"", {}},
    };
    EXPECT_EQ(Entries(content), expected);
}

TEST(CFileContent, MissingOrEmptyManifestGivesTrueAndNoEntries) {
    TestFolder folder;
    WriteTextFile(folder / L"full.ini", kManifest);
    WriteTextFile(folder / L"empty.ini", "");
    WriteTextFile(folder / L"comments.ini", "; nothing here\r\nKey=1\r\n");
    CFileContent content;
    for (const wchar_t* name : {L"empty.ini", L"comments.ini", L"missing.ini"}) {
        // Each load starts from an empty list, whatever the previous one read.
        ASSERT_TRUE(content.Load((folder / L"full.ini").c_str()));
        ASSERT_FALSE(content.Entries().empty());
        EXPECT_TRUE(content.Load((folder / name).c_str())) << testing::PrintToString(name);
        EXPECT_TRUE(content.Entries().empty()) << testing::PrintToString(name);
    }
    EXPECT_TRUE(content.Load(nullptr));
    EXPECT_TRUE(content.Entries().empty());
}

// Beyond its bounds a manifest is unreadable, read neither at once nor by the profile
// functions: a file above the size bound, or one with more sections than the entry bound.
TEST(CFileContent, AManifestBeyondItsBoundsIsUnreadable) {
    TestFolder folder;
    std::string many;
    for (std::size_t i = 0; i <= ManifestPaths::kMaxManifestEntries; ++i)
        many += "[" + std::to_string(i) + "]\r\n";
    WriteTextFile(folder / L"many.ini", many);
    WriteTextFile(folder / L"large.ini", "[a.dll]\r\nType=Common\r\n");
    const HANDLE file = CreateFileW((folder / L"large.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(ManifestPaths::kMaxManifestBytes) + 1;
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);

    CFileContent content;
    for (const wchar_t* name : {L"many.ini", L"large.ini"}) {
        EXPECT_FALSE(content.Load((folder / name).c_str())) << testing::PrintToString(name);
        EXPECT_TRUE(content.Entries().empty()) << testing::PrintToString(name);
    }
    many.resize(many.rfind('['));  // one section fewer: within the bound
    WriteTextFile(folder / L"many.ini", many);
    EXPECT_TRUE(content.Load((folder / L"many.ini").c_str()));
    EXPECT_EQ(content.Entries().size(), ManifestPaths::kMaxManifestEntries);
}

// Object is read from a signed manifest only; an entry whose Object has any other shape than
// objects/<SHA-256>.zip is left out, both ways of reading.
TEST(CFileContent, ASignedManifestNamesObjectsOfOneShapeOnly) {
    const std::string hex = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    const std::string good = "objects/" + hex + ".zip";
    const struct {
        const char* name;
        std::string object;  // empty: no Object key
        bool keptWhenSigned;
    } cases[] = {
        {"good.dll", good, true},
        {"classic.dll", "", true},
        {"quoted.dll", "\"" + good + "\"", true},  // the profile functions drop the quotes
        {"upper.dll", "objects/" + std::string(64, 'A') + ".zip", false},
        {"backslash.dll", "objects\\" + hex + ".zip", false},
        {"climbs.dll", "objects/../RudovuZado/" + hex.substr(11) + ".zip", false},
        {"absolute.dll", "http://127.0.0.2/" + good, false},
        {"delta.dll", "objects/" + hex + ".pdelta", false},
        {"blank.dll", " ", true},  // the profile functions trim it to nothing
    };
    std::string text;
    for (const auto& c : cases) {
        text += std::string("[") + c.name + "]\r\nType=Common\r\n";
        if (!c.object.empty()) text += "Object=" + c.object + "\r\n";
    }
    TestFolder folder;
    WriteTextFile(folder / L"RudovuZado.ini", text);
    const std::wstring path = folder / L"RudovuZado.ini";
    for (const bool throughProfile : {false, true}) {
        for (const bool signedManifest : {false, true}) {
            CFileContent content;
            ASSERT_TRUE(throughProfile ? content.LoadThroughProfile(path.c_str(), signedManifest)
                                       : content.Load(path.c_str(), signedManifest));
            std::vector<std::wstring> names, objects;
            for (const ManifestEntry& entry : content.Entries()) {
                names.push_back(entry.name);
                objects.push_back(entry.object);
            }
            std::vector<std::wstring> expectedNames, expectedObjects;
            for (const auto& c : cases) {
                if (signedManifest && !c.keptWhenSigned) continue;
                expectedNames.push_back(std::wstring(c.name, c.name + strlen(c.name)));
                const bool named = signedManifest && c.object.find("objects/") != std::string::npos;
                expectedObjects.push_back(named ? std::wstring(good.begin(), good.end())
                                                : std::wstring());
            }
            EXPECT_EQ(names, expectedNames) << throughProfile << signedManifest;
            EXPECT_EQ(objects, expectedObjects) << throughProfile << signedManifest;
        }
    }
}

// Delta1..Delta5 are read from a signed manifest only, in key order, the missing ones skipped;
// their text is judged where a delta is chosen.
TEST(CFileContent, ASignedManifestListsAnEntrysDeltasInKeyOrder) {
    TestFolder folder;
    WriteTextFile(folder / L"RudovuZado.ini",
                  "[a.dll]\r\nDelta3=third\r\nDelta1=first\r\nDelta6=sixth\r\nDelta5=fifth\r\n"
                  "[b.dll]\r\nType=Common\r\n");
    const std::wstring path = folder / L"RudovuZado.ini";
    for (const bool throughProfile : {false, true}) {
        for (const bool signedManifest : {false, true}) {
            CFileContent content;
            ASSERT_TRUE(throughProfile ? content.LoadThroughProfile(path.c_str(), signedManifest)
                                       : content.Load(path.c_str(), signedManifest));
            ASSERT_EQ(content.Entries().size(), 2u);
            const std::vector<std::wstring> expected =
                signedManifest ? std::vector<std::wstring>{L"first", L"third", L"fifth"}
                               : std::vector<std::wstring>{};
            EXPECT_EQ(content.Entries().front().deltas, expected) << throughProfile;
            EXPECT_TRUE(content.Entries().back().deltas.empty());
        }
    }
}

// Replaces the INI reader so that reading "Type" of the second section throws.
class ThrowingProfile {
public:
    ThrowingProfile() : m_saved(CIni::Platform()) { CIni::Platform().getString = &GetString; }
    ~ThrowingProfile() { CIni::Platform() = m_saved; }

private:
    static DWORD WINAPI GetString(LPCWSTR section, LPCWSTR key, LPCWSTR fallback, LPWSTR buffer,
                                  DWORD size, LPCWSTR path) {
        if (section && key && lstrcmpW(section, L"Alpha.dat") == 0 && lstrcmpW(key, L"Type") == 0)
            throw std::bad_alloc();
        return GetPrivateProfileStringW(section, key, fallback, buffer, size, path);
    }

    CIni::ProfileApi m_saved;
};

TEST(CFileContent, AnExceptionEndsTheLoadWithFalseKeepingEarlierEntries) {
    TestFolder folder;
    WriteTextFile(folder / L"RudovuZado.ini", kManifest);
    CFileContent content;
    {
        const ThrowingProfile throwing;
        EXPECT_FALSE(content.LoadThroughProfile((folder / L"RudovuZado.ini").c_str()));
    }
    const auto entries = Entries(content);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, L"Zeta.dll");
}

}  // namespace
