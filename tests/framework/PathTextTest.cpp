#include <gtest/gtest.h>

#include "framework/PathText.h"

namespace {

struct PathCase {
    const wchar_t* path;
    const wchar_t* folder;
    const wchar_t* name;
};

TEST(PathText, SplitsAtTheLastSeparatorOfEitherKind) {
    const PathCase cases[] = {
        {L"C:\\Pelko\\a.dll", L"C:\\Pelko", L"a.dll"},
        {L"C:\\Pelko/sub\\a.dll", L"C:\\Pelko/sub", L"a.dll"},
        {L"dir/a.zip", L"dir", L"a.zip"},
        {L"a.zip", L"", L"a.zip"},
        {L"C:\\Pelko\\", L"C:\\Pelko", L""},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathText::FolderPart(c.path), c.folder) << c.path;
        EXPECT_EQ(PathText::FileNamePart(c.path), c.name) << c.path;
    }
}

TEST(PathText, JoinInsertsOneSeparatorOnlyWhenMissing) {
    EXPECT_EQ(PathText::Join(L"C:\\Pelko", L"a.dll"), L"C:\\Pelko\\a.dll");
    EXPECT_EQ(PathText::Join(L"C:\\Pelko\\", L"a.dll"), L"C:\\Pelko\\a.dll");
    EXPECT_EQ(PathText::Join(L"C:\\Pelko/", L"a.dll"), L"C:\\Pelko/a.dll");
    EXPECT_EQ(PathText::Join(L"", L"a.dll"), L"\\a.dll");
}

TEST(PathText, AppendBackslashAddsOnlyWhenAbsent) {
    EXPECT_EQ(PathText::AppendBackslash(L"C:\\Pelko"), L"C:\\Pelko\\");
    EXPECT_EQ(PathText::AppendBackslash(L"C:\\Pelko\\"), L"C:\\Pelko\\");
    EXPECT_EQ(PathText::AppendBackslash(L""), L"\\");
    // Only a backslash counts as the end: a trailing "/" still gets one.
    EXPECT_EQ(PathText::AppendBackslash(L"C:/Pelko/"), L"C:/Pelko/\\");
}

}  // namespace
