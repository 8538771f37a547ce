#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/CIni.h"

namespace {

// A real INI file in a fresh folder under the temporary folder, removed afterwards.
class IniFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"pelko_ini_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        path_ = folder_ + L"\\test.ini";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override {
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    void WriteFileText(const std::string& text) {
        FILE* file = _wfopen(path_.c_str(), L"wb");
        ASSERT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }
    CIni& Bound() {
        ini_.SetPathName(path_.c_str());
        return ini_;
    }

    std::wstring folder_;
    std::wstring path_;
    CIni ini_;
};

// Counts getString calls while forwarding to the real platform function.
class CountingProfile {
public:
    CountingProfile() : saved_(CIni::Platform()) {
        calls_ = 0;
        CIni::Platform().getString = &Count;
    }
    ~CountingProfile() { CIni::Platform() = saved_; }
    int Calls() const { return calls_; }

private:
    static DWORD WINAPI Count(LPCWSTR s, LPCWSTR k, LPCWSTR d, LPWSTR b, DWORD n, LPCWSTR p) {
        ++calls_;
        return GetPrivateProfileStringW(s, k, d, b, n, p);
    }
    static inline int calls_ = 0;
    CIni::ProfileApi saved_;
};

TEST_F(IniFile, ReadsLongValuesWholeGrowingBy512) {
    struct Case {
        size_t length;
        int calls;
    };
    for (const Case c : {Case{510, 1}, Case{511, 2}, Case{1023, 3}, Case{1500, 3}}) {
        const std::string value(c.length, 'v');
        WriteFileText("[S]\r\nK=" + value + "\r\n");
        CIni ini;
        ini.SetPathName(path_.c_str());
        CountingProfile counter;
        EXPECT_EQ(ini.GetString(L"S", L"K", nullptr), std::wstring(c.length, L'v')) << c.length;
        EXPECT_EQ(counter.Calls(), c.calls) << c.length;
    }
}

TEST_F(IniFile, StringReadsGiveTheDefaultForMissingKeysAndArguments) {
    WriteFileText("[S]\r\nK=value\r\nEmpty=\r\n");
    CIni& ini = Bound();
    EXPECT_EQ(ini.GetString(L"S", L"K", L"def"), L"value");
    EXPECT_EQ(ini.GetString(L"S", L"Empty", L"def"), L"");
    EXPECT_EQ(ini.GetString(L"S", L"Absent", L"def"), L"def");
    EXPECT_EQ(ini.GetString(L"S", L"Absent", nullptr), L"");
    EXPECT_EQ(ini.GetString(nullptr, L"K", L"def"), L"def");
    EXPECT_EQ(ini.GetString(L"S", nullptr, nullptr), L"");
}

TEST_F(IniFile, GetIntConvertsLikeWcstoulWithTheRadixRule) {
    WriteFileText(
        "[N]\r\nmixed=12abc\r\nhex=0x1F\r\nempty=\r\nneg=-1\r\nspace=  42\r\nbin=101\r\n"
        "word=abc\r\nlong=1" +
        std::string(63, '0') + "99\r\n");
    CIni& ini = Bound();
    struct Case {
        const wchar_t* key;
        int radix;
        DWORD expected;
    };
    const Case cases[] = {
        {L"mixed", 10, 12},         {L"hex", 16, 31},    {L"hex", 10, 0},
        {L"empty", 10, 77},         {L"absent", 10, 77}, {L"neg", 10, 0xFFFFFFFFu},
        {L"space", 10, 42},         {L"bin", 2, 5},      {L"bin", 8, 65},
        {L"bin", 3, 101},           {L"bin", 0, 101},    {L"word", 10, 0},
        {L"long", 10, 0xFFFFFFFFu},  // 64 digits: out of range, saturates
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.GetInt(L"N", c.key, 77, c.radix), c.expected) << c.key << " " << c.radix;
}

TEST_F(IniFile, GetIntLooksAtTheFirst64CharactersOnly) {
    // 63 zeros and a 7 are the first 64 characters; the 9s after them are never converted.
    WriteFileText("[N]\r\ncut=" + std::string(63, '0') + "7999\r\n");
    EXPECT_EQ(Bound().GetInt(L"N", L"cut", 0, 10), 7u);
}

TEST_F(IniFile, GetBoolAcceptsWordsAndNumbers) {
    WriteFileText(
        "[B]\r\nt1=TRUE\r\nt2=Yes\r\nt3=2\r\nt4=-3x\r\nf1=false\r\nf2=no\r\nf3=0\r\nf4=abc\r\n"
        "empty=\r\n");
    CIni& ini = Bound();
    for (const wchar_t* key : {L"t1", L"t2", L"t3", L"t4"})
        EXPECT_EQ(ini.GetBool(L"B", key, 0), 1) << key;
    for (const wchar_t* key : {L"f1", L"f2", L"f3", L"f4"})
        EXPECT_EQ(ini.GetBool(L"B", key, 1), 0) << key;
    EXPECT_EQ(ini.GetBool(L"B", L"empty", 5), 5);
    EXPECT_EQ(ini.GetBool(L"B", L"absent", 7), 7);
}

TEST_F(IniFile, SetPathNameBindsOnce) {
    CIni ini;
    ini.SetPathName(nullptr);  // nothing stored: nothing happens
    ini.SetPathName(path_.c_str());
    try {
        ini.SetPathName(L"C:\\other.ini");
        FAIL() << "a second path was accepted";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "read only");
    }
    // Clearing keeps the binding: the path is empty now, and a new one is still refused.
    ini.SetPathName(nullptr);
    EXPECT_THROW(ini.SetPathName(path_.c_str()), std::exception);
    WriteFileText("[S]\r\nK=v\r\n");
    EXPECT_EQ(ini.GetString(L"S", L"K", L"def"), L"def");
}

TEST_F(IniFile, WriteStringCreatesFileSectionAndKeysAndKeepsTheRest) {
    CIni& ini = Bound();
    EXPECT_NE(ini.WriteString(L"S", L"K", L"value"), 0);
    EXPECT_NE(ini.WriteString(L"S", L"Blank", nullptr), 0);
    EXPECT_NE(ini.WriteString(L"Other", L"X", L"1"), 0);
    EXPECT_EQ(ini.WriteString(nullptr, L"K", L"v"), 0);
    EXPECT_EQ(ini.WriteString(L"S", nullptr, L"v"), 0);

    EXPECT_EQ(ini.GetString(L"S", L"K", nullptr), L"value");
    // Written with an empty value, so present: the default does not show.
    EXPECT_EQ(ini.GetString(L"S", L"Blank", L"def"), L"");
    EXPECT_EQ(ini.GetString(L"Other", L"X", nullptr), L"1");
    std::vector<std::wstring> names;
    ini.GetSectionNames(&names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"S", L"Other"}));
}

TEST_F(IniFile, SectionNamesComeInFileOrder) {
    WriteFileText("[A]\r\nx=1\r\n[B]\r\n[A2]\r\ny=2\r\n");
    CIni& ini = Bound();
    std::vector<std::wstring> names{L"stale"};
    ini.GetSectionNames(&names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"A", L"B", L"A2"}));
    // "A\0B\0A2\0" is 7 characters, plus the two the probe adds.
    EXPECT_EQ(ini.GetSectionNames(nullptr, 0), 9u);
}

TEST_F(IniFile, LongSectionListsAreProbedUntilTheyFit) {
    std::string text;
    std::vector<std::wstring> expected;
    for (int i = 0; i < 200; ++i) {
        text += "[Section" + std::to_string(i) + "]\r\nk=v\r\n";
        expected.push_back(L"Section" + std::to_wstring(i));
    }
    WriteFileText(text);
    std::vector<std::wstring> names;
    Bound().GetSectionNames(&names);
    EXPECT_EQ(names, expected);
}

TEST_F(IniFile, AMissingFileReadsAsEmpty) {
    CIni& ini = Bound();
    EXPECT_EQ(ini.GetString(L"S", L"K", L"def"), L"def");
    EXPECT_EQ(ini.GetInt(L"S", L"K", 9, 10), 9u);
    EXPECT_EQ(ini.GetBool(L"S", L"K", 1), 1);
    EXPECT_EQ(ini.GetSectionNames(nullptr, 0), 2u);
    std::vector<std::wstring> names{L"stale"};
    ini.GetSectionNames(&names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
}

BOOL StopAtB(const wchar_t* item, void* context) {
    auto* seen = static_cast<std::vector<std::wstring>*>(context);
    seen->emplace_back(item);
    return std::wstring(item) != L"B";
}

TEST(CIniForEachString, WalksUntilTheEmptyItemOrTheFirstRefusal) {
    std::vector<std::wstring> seen;
    EXPECT_EQ(CIni::ForEachString(L"A\0B\0C\0", &StopAtB, &seen), 0);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"A", L"B"}));

    seen.clear();
    EXPECT_EQ(CIni::ForEachString(L"A\0C\0", &StopAtB, &seen), 1);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"A", L"C"}));

    seen.clear();
    EXPECT_EQ(CIni::ForEachString(L"\0", &StopAtB, &seen), 1);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(CIni::ForEachString(nullptr, &StopAtB, &seen), 0);
    EXPECT_EQ(CIni::ForEachString(L"A\0", nullptr, &seen), 0);
    EXPECT_EQ(CIni::AppendToStringArray(L"A", nullptr), 0);
    EXPECT_EQ(CIni::AppendToStringArray(nullptr, &seen), 0);
}

}  // namespace
