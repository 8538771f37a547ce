// The reading rules of CIniText on their own; the Windows tests of CFileContent compare them
// with the platform's profile functions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/CIniText.h"

namespace {

std::wstring Find(const CIniText& ini, std::wstring_view section, std::wstring_view key) {
    const auto value = ini.Find(section, key);
    return value ? std::wstring(*value) : L"<none>";
}

TEST(CIniText, ReadsSectionsKeysAndValuesAsTheProfileFunctionsDo) {
    CIniText ini;
    ASSERT_TRUE(ini.Parse(
        L"Key=before\r\n[ A ]\r\n  Key \t= \"q d\" \r\nkey=second\r\nBare\r\nBare=late\r\n"
        L"Empty=\r\nEq=a=b\r\n[C]]\rKey='x'\n[E\r\nKey=e\r\n[]\r\nKey=unnamed\r\n[a]\r\n"
        L"Key=dup\r\nOther=dup\r\n"));
    const std::vector<std::wstring> names{L"A", L"C]", L"a"};
    EXPECT_EQ(ini.SectionNames(), names);
    const struct {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* value;
    } cases[] = {
        {L"A", L"Key", L"q d"},      {L"a", L"KEY", L"q d"},    {L" A\t", L" key ", L"q d"},
        {L"A", L"Bare", L"<none>"},  {L"A", L"Empty", L""},     {L"A", L"Eq", L"a=b"},
        {L"a", L"Other", L"<none>"}, {L"C]", L"Key", L"x"},     {L"C]", L"[E", L"<none>"},
        {L"", L"Key", L"before"},    {L"B", L"Key", L"<none>"}, {L"A", L"Missing", L"<none>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(ini, c.section, c.key), c.value)
            << testing::PrintToString(c.section) << " " << testing::PrintToString(c.key);
}

TEST(CIniText, LeavesWhatItDoesNotReproduceAndForgetsEarlierText) {
    CIniText ini;
    const std::wstring refused[] = {
        std::wstring(L"[A]\r\nKey=x\0y\r\n", 13),
        L"[\u00c4]\r\n",
        L"[A]\r\nK\u212Ay=1\r\n",
        L"[A]\r\nKey=\"" + std::wstring(CIniText::kLongestQuotedValue - 1, L'x') + L"\"\r\n",
    };
    for (const std::wstring& text : refused) {
        ASSERT_TRUE(ini.Parse(L"[Old]\r\nKey=1\r\n"));
        EXPECT_FALSE(ini.Parse(text)) << testing::PrintToString(text);
        EXPECT_TRUE(ini.SectionNames().empty());
        EXPECT_FALSE(ini.Find(L"Old", L"Key"));
    }
    EXPECT_TRUE(ini.Parse(L"[A]\r\nKey=\"" + std::wstring(CIniText::kLongestQuotedValue - 2, L'x') +
                          L"\"\r\nV=\u00c4\u3000\r\n"));
    EXPECT_EQ(Find(ini, L"A", L"V"), L"\u00c4\u3000");
}

// Random text of the characters that steer the reading, asked for every name it lists.
TEST(CIniText, RandomTextIsReadWithinBounds) {
    static const wchar_t kAlphabet[] = L"[]=;\"' \t\r\n\x1A\vAaBb\u00e9\x00";
    std::mt19937 random(5);
    CIniText ini;
    for (int round = 0; round < 2000; ++round) {
        std::wstring text(random() % 200, L' ');
        for (wchar_t& c : text) c = kAlphabet[random() % (std::size(kAlphabet) - 1)];
        if (!ini.Parse(text)) continue;
        for (const std::wstring& name : ini.SectionNames()) {
            ASSERT_FALSE(name.empty());
            ini.Find(name, L"A");
            ini.Find(name, L"b");
        }
    }
}

}  // namespace
