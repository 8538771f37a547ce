// CFileContent::Load reads a manifest once; whatever the file holds, it must give the entries
// the profile functions give (LoadThroughProfile), or leave the file to them.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "UpdateTestFiles.h"
#include "support/CIni.h"
#include "support/CIniSnapshot.h"
#include "update/CFileContent.h"

void PrintTo(const ManifestEntry& e, std::ostream* os);  // CFileContentTest.cpp

namespace {

using updatetest::TestFolder;
using updatetest::WriteTextFile;

// Counts the profile calls a load makes, passing them on.
class CountingProfile {
public:
    CountingProfile() : m_saved(CIni::Platform()) {
        s_calls = 0;
        CIni::Platform().getString = &GetString;
        CIni::Platform().getSectionNames = &GetSectionNames;
    }
    ~CountingProfile() { CIni::Platform() = m_saved; }
    int Calls() const { return s_calls; }

private:
    static DWORD WINAPI GetString(LPCWSTR section, LPCWSTR key, LPCWSTR fallback, LPWSTR buffer,
                                  DWORD size, LPCWSTR path) {
        ++s_calls;
        return GetPrivateProfileStringW(section, key, fallback, buffer, size, path);
    }
    static DWORD WINAPI GetSectionNames(LPWSTR buffer, DWORD size, LPCWSTR path) {
        ++s_calls;
        return GetPrivateProfileSectionNamesW(buffer, size, path);
    }

    static inline int s_calls = 0;
    CIni::ProfileApi m_saved;
};

std::vector<ManifestEntry> Entries(const CFileContent& content) {
    return {content.Entries().begin(), content.Entries().end()};
}

// Loads the file both ways; true when Load read it itself (no profile call).
bool ExpectSameEntries(const std::wstring& path, const std::string& label) {
    CFileContent reference;
    EXPECT_TRUE(reference.LoadThroughProfile(path.c_str())) << label;
    CFileContent content;
    const CountingProfile counting;
    EXPECT_TRUE(content.Load(path.c_str())) << label;
    EXPECT_EQ(Entries(content), Entries(reference)) << label;
    return counting.Calls() == 0;
}

std::string Utf16(std::u16string_view text, bool bigEndian = false) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Repeat(char c, size_t count) { return std::string(count, c); }

struct Case {
    const char* label;
    std::string bytes;
    bool readOnce;  // false: left to the profile functions
};

std::vector<Case> OddManifests() {
    return {
        {"plain",
         "[Zeta.dll]\r\nFolderType=37\r\nTargetDir=bin\\x\r\nModifyDate=2013-05-02 17:30\r\n"
         "FileSize=12345\r\nRegister=1\r\nCheckDate=1\r\nType=Common\r\n\r\n[Alpha.dat]\r\n",
         true},
        {"white space",
         "[ A ]\r\n  FolderType  =  5  \r\n\tType\t=\tx y\t\r\nTargetDir = \v\"q d\" \f\r\n"
         "ModifyDate=\x1A"
         "2013-1-2 3:04\x1A\r\n  [B]  \r\nType =\r\n[\tC\t]\r\nType\t= c\r\n",
         true},
        {"quotes",
         "[A]\r\nType=\"q d\"\r\nTargetDir='x'\r\nModifyDate=\"\r\nCheckDate=\"1'\r\n"
         "FolderType=\"37\"\r\nRegister='yes'\r\n[B]\r\nType=''\r\nTargetDir=\"a\"b\"\r\n"
         "ModifyDate= \" x \" \r\nFolderType=\"\"\r\n[C]\r\nType=\"'\r\nTargetDir=\"\"\"\r\n",
         true},
        {"comments and lines without =",
         "; header comment\r\nType=before any section\r\n[A]\r\n;FolderType=3\r\n#Type=x\r\n"
         "Type\r\nType=2\r\nTargetDir\r\n=orphan\r\nCheckDate=\r\n[B]\r\nrem Type=3\r\n",
         true},
        {"duplicate sections and keys",
         "[A]\r\nType=1\r\nType=2\r\n[a]\r\nType=3\r\nFolderType=7\r\n[B]\r\n[A]\r\n"
         "TargetDir=t\r\n[ b ]\r\nType=b2\r\n",
         true},
        {"case of names",
         "[zeta.DLL]\r\nfOLDERtYPE=5\r\ntYPE=Common\r\nREGISTER=TRUE\r\n[ZETA.dll]\r\nType=x\r\n",
         true},
        {"odd headers",
         "[C]]\r\nType=c\r\n[D]x]y\r\nType=d\r\n[E\r\nType=e\r\n[]\r\nType=empty\r\n[  ]\r\n"
         "Type=spaces\r\n[F]=z\r\nType=f\r\n[G\r\n[F=1\r\n[H] ; note\r\nType=h\r\n",
         true},
        {"empty values",
         "[A]\r\nType=\r\nFolderType=\r\nRegister=\r\nCheckDate=\r\nTargetDir=\r\n"
         "ModifyDate=\r\nFileSize=\r\n",
         true},
        {"numbers",
         "[A]\r\nFolderType=12abc\r\nFileSize=99999999999\r\nRegister=Yes\r\nCheckDate=2\r\n"
         "[B]\r\nFolderType=-1\r\nFileSize= +7\r\nRegister=false\r\nCheckDate=abc\r\n"
         "[C]\r\nFolderType=0x1F\r\nFileSize=4294967295\r\nRegister=no\r\nCheckDate=0\r\n"
         "[D]\r\nFolderType=" +
             Repeat('0', 64) + "9\r\nCheckDate=" + Repeat('0', 64) +
             "1\r\nRegister=" + Repeat(' ', 70) + "1\r\n",
         true},
        {"long values and names",
         "[A]\r\nTargetDir=" + Repeat('t', 511) + "\r\nType=" + Repeat('y', 100000) +
             "\r\nModifyDate=\"" + Repeat('m', 510) + "\"\r\n[" + Repeat('S', 3000) +
             "]\r\nType=long\r\n",
         true},
        {"long quoted value",
         "[A]\r\nType=\"" + Repeat('x', 511) + "\"\r\nTargetDir='" + Repeat('t', 1023) + "'\r\n",
         false},
        {"line ends", "[A]\rType=cr\r[B]\nType=lf\n\n\n[C]\n\rType=c\r\n\r\n\r\n[D]\r\r\n\nType=d",
         true},
        {"ANSI values", "[A]\r\nType=\xE9\x80\x81\xFF\r\nTargetDir=caf\xE9\xA0\r\n", true},
        {"ANSI section names", "[A\xE9]\r\nType=1\r\n[a\xC9]\r\nType=up\r\n", false},
        {"ANSI key names", "[A]\r\nTyp\xE9=1\r\n", false},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[A]\r\nType=\xC3\xA9\xE2\x82\xAC\r\nTargetDir=\xFF\xC3\r\n",
         true},
        {"UTF-16 LE with BOM",
         Utf16(u"[A]\r\nType=\u00e9\u20ac\u3000\r\nTargetDir=\u00a0d\u00a0\r\n[ B ]\r\n"
               u"Type=\x1c"
               u"b\x1f\r\nModifyDate=\x85m\u2000\ufeff\r\n"),
         true},
        {"UTF-16 LE section name outside ASCII", Utf16(u"[\u3000B]\r\nType=b\r\n[\u00c4]\r\n"),
         false},
        {"UTF-16 BE with BOM", Utf16(u"[A]\r\nType=be\r\n", true), false},
        {"UTF-16 of odd length", Utf16(u"[A]\r\nType=x\r\n") + "Q", false},
        {"UTF-16 without BOM", Utf16(u"[A]\r\nType=x\r\n").substr(2), false},
        {"NUL in a value", std::string("[A]\r\nType=x\0y\r\n[B]\r\nType=z\r\n", 25), false},
        {"NUL at the end", std::string("[A]\r\nType=x\r\n\0", 14), false},
        {"empty file", "", true},
        {"only blank lines", "\r\n \t\r\n\n", true},
    };
}

TEST(ManifestReader, OddManifestsGiveTheEntriesOfTheProfileFunctions) {
    TestFolder folder;
    int index = 0;
    for (const Case& c : OddManifests()) {
        const std::wstring path = folder / (L"m" + std::to_wstring(index++) + L".ini");
        WriteTextFile(path, c.bytes);
        EXPECT_EQ(ExpectSameEntries(path, c.label), c.readOnce) << c.label;
    }
    EXPECT_FALSE(ExpectSameEntries(folder / L"missing.ini", "missing file"));
}

// Random manifests of the lines that matter, in random spelling.
std::string RandomManifest(std::mt19937& random) {
    static const char* const kHeaders[] = {"[A]", "[a]", " [ B ] ",    "[C]]",
                                           "[]",  "[D",  "[Zeta.dll]", "[zeta.DLL]"};
    static const char* const kKeys[] = {"FolderType", "TargetDir", "ModifyDate", "FileSize",
                                        "Register",   "CheckDate", "Type",       "type",
                                        " REGISTER ", ";Type",     "Type X",     ""};
    static const char* const kValues[] = {"",     "0",   "1",     "37",   "-5",    "yes",
                                          "TRUE", "no",  "abc",   "12ab", "\"q\"", "'q'",
                                          "\"",   "\"'", " x y ", "a=b",  "0x1F",  "2013-5-2 7:05"};
    static const char* const kBreaks[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\t\r\n"};
    const auto pick = [&random](const auto& items) {
        return std::string(items[random() % std::size(items)]);
    };
    std::string text;
    const int lines = 4 + static_cast<int>(random() % 16);
    for (int i = 0; i < lines; ++i) {
        const unsigned kind = random() % 8;
        if (kind == 0) {
            text += pick(kHeaders);
        } else if (kind == 1) {
            text += pick(kKeys);  // a key line without "="
        } else {
            text += pick(kKeys) + (random() % 4 == 0 ? " = " : "=") + pick(kValues);
        }
        text += pick(kBreaks);
    }
    return text;
}

TEST(ManifestReader, RandomManifestsGiveTheEntriesOfTheProfileFunctions) {
    TestFolder folder;
    std::mt19937 random(15);
    int readOnce = 0;
    constexpr int kFiles = 150;
    for (int i = 0; i < kFiles; ++i) {
        const std::string text = RandomManifest(random);
        const std::wstring path = folder / (L"r" + std::to_wstring(i) + L".ini");
        WriteTextFile(path, text);
        if (ExpectSameEntries(path, text)) ++readOnce;
    }
    // Nothing in the mix needs the profile functions.
    EXPECT_EQ(readOnce, kFiles);
}

// Values CFileContent never asks for, to show the snapshot answers every read like CIni.
TEST(ManifestReader, SnapshotAnswersDefaultsLikeCIni) {
    TestFolder folder;
    const std::wstring path = folder / L"d.ini";
    WriteTextFile(path, "[A]\r\nKey=\"v\"\r\nNum=0x1f\r\n");
    CIni ini;
    ini.SetPathName(path.c_str());
    CIniSnapshot snapshot;
    ASSERT_TRUE(snapshot.Load(path.c_str()));
    for (const wchar_t* fallback : {L"d  ", L"   ", L" d", L""}) {
        EXPECT_EQ(snapshot.GetString(L"A", L"None", fallback),
                  ini.GetString(L"A", L"None", fallback))
            << testing::PrintToString(fallback);
        EXPECT_EQ(snapshot.GetString(nullptr, L"None", fallback),
                  ini.GetString(nullptr, L"None", fallback));
    }
    EXPECT_EQ(snapshot.GetString(L" a ", L" KEY ", L""), ini.GetString(L" a ", L" KEY ", L""));
    for (int radix : {16, 10, 3}) {
        EXPECT_EQ(snapshot.GetInt(L"A", L"Num", 9, radix), ini.GetInt(L"A", L"Num", 9, radix));
    }
    EXPECT_EQ(snapshot.GetInt(L"A", L"None", 9, 10), ini.GetInt(L"A", L"None", 9, 10));
    EXPECT_EQ(snapshot.GetBool(L"B", L"Key", TRUE), ini.GetBool(L"B", L"Key", TRUE));
}

}  // namespace
