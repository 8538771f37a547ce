#include <gtest/gtest.h>

#include <string>

#include "update/EntryPathRule.h"

namespace {

using EntryPathRule::IsLocalBase;
using EntryPathRule::IsPlainFileName;
using EntryPathRule::IsRelativeFolder;
using EntryPathRule::LiesInside;

// Each text judged both as a section name and as a TargetDir.
TEST(EntryPathRule, NamesAndFoldersThatStayBelowTheBase) {
    const std::wstring longName(256, L'a');
    const struct {
        std::wstring text;
        bool plainName;
        bool relativeFolder;
    } cases[] = {
        {L"A.dll", true, true},
        {L"bin", true, true},
        {L"bin\\x", false, true},
        {L"bin/x", false, true},
        {L"bin\\", false, true},
        {L"", false, true},
        {L"..", false, false},
        {L".", false, false},
        {L"..\\escA", false, false},
        {L".\\..", false, false},
        {L"a\\..\\..", false, false},
        {L"a\\..", false, false},
        {L"a.", false, false},
        {L"a ", false, false},
        {L"a\\b.\\c", false, false},
        {L"\\x", false, false},
        {L"/x", false, false},
        {L"\\\\host\\share", false, false},
        {L"//host/share", false, false},
        {L"\\\\?\\C:\\x", false, false},
        {L"\\\\.\\PhysicalDrive0", false, false},
        {L"C:x", false, false},
        {L"C:\\x", false, false},
        {L"a\\\\b", false, false},
        {L"x.txt:stream", false, false},
        {L"x::$DATA", false, false},
        {L"CON", false, false},
        {L"con", false, false},
        {L"nul.txt", false, false},
        {L"NUL .txt", false, false},
        {L"bin\\aux", false, false},
        {L"COM1", false, false},
        {L"lpt9.log", false, false},
        {L"COM\u00B9", false, false},
        {L"CONIN$", false, false},
        {L"COM10", true, true},
        {L"console.txt", true, true},
        {L"nul_file", true, true},
        {L"a*b", false, false},
        {L"a?b", false, false},
        {L"a\"b", false, false},
        {L"a<b>", false, false},
        {L"a|b", false, false},
        {L"a\tb", false, false},
        {L".hidden", true, true},
        {L"\u00E4\uD55C.txt", true, true},
        {longName, false, false},
        {longName.substr(1), true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsPlainFileName(c.text), c.plainName) << testing::PrintToString(c.text);
        EXPECT_EQ(IsRelativeFolder(c.text), c.relativeFolder) << testing::PrintToString(c.text);
    }
}

TEST(EntryPathRule, OnlyAFolderFromADriveRootIsALocalBase) {
    EXPECT_TRUE(IsLocalBase(L"C:\\Corvane\\Pelko\\"));
    EXPECT_TRUE(IsLocalBase(L"d:\\"));
    for (const wchar_t* base : {L"", L"\\", L"D:", L"D:x\\", L"\\\\host\\share\\", L"\\\\?\\C:\\",
                                L"\\\\.\\C:\\", L"\xFFFF:\\", L"1:\\"})
        EXPECT_FALSE(IsLocalBase(base)) << testing::PrintToString(std::wstring(base));
}

TEST(EntryPathRule, InsideMeansBelowTheFolderNotBesideIt) {
    EXPECT_TRUE(LiesInside(L"C:\\Pelko\\", L"C:\\Pelko\\a.dll"));
    EXPECT_TRUE(LiesInside(L"C:\\Pelko", L"c:\\pelko\\bin\\a.dll"));
    EXPECT_FALSE(LiesInside(L"C:\\Pelko\\", L"C:\\Pelko\\"));
    EXPECT_FALSE(LiesInside(L"C:\\Pelko\\", L"C:\\Pelko"));
    EXPECT_FALSE(LiesInside(L"C:\\Pelko\\", L"C:\\PelkoX\\a.dll"));
    EXPECT_FALSE(LiesInside(L"C:\\Pelko\\", L"C:\\escA\\a.dll"));
    EXPECT_FALSE(LiesInside(L"C:\\Pelko\\", L"\\\\.\\nul"));
    EXPECT_FALSE(LiesInside(L"", L"C:\\a"));
}

}  // namespace
