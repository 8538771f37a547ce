// Pure rules of an update run's own files: the journal's text and the names of package parts.
#include <gtest/gtest.h>

#include "update/JournalText.h"
#include "update/UpdateWorkPaths.h"

namespace {

const std::vector<JournalEntry> kEntries = {
    {L"C:\\P\\A.dll", L"C:\\P\\~PelkoUpdate\\staged\\0", L"C:\\P\\A.dll.~old", true},
    {L"C:\\P\\sub\\B.txt", L"C:\\P\\~PelkoUpdate\\staged\\1", L"C:\\P\\sub\\B.txt.~old", false}};

TEST(JournalText, ReadsBackWhatItWrote) {
    EXPECT_EQ(JournalText::Parse(JournalText::Format(kEntries)), kEntries);
    EXPECT_EQ(JournalText::Parse(JournalText::Format({})), std::vector<JournalEntry>{});
}

TEST(JournalText, AJournalCutShortOrDamagedIsNoJournal) {
    const std::wstring whole = JournalText::Format(kEntries);
    // Every cut, even one that ends on a line end, loses the end line.
    for (size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(JournalText::Parse(whole.substr(0, length))) << length;
    const std::wstring damaged[] = {
        L"PelkoWebLoader commit 2\nend\n",
        L"PelkoWebLoader commit 1\nF\t2\tC:\\a\tC:\\b\tC:\\c\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\t\tC:\\c\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\tC:\\b\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\tC:\\b\tC:\\c\td\nend\n",
        L"PelkoWebLoader commit 1\nend\nend\n",
    };
    for (const std::wstring& text : damaged)
        EXPECT_FALSE(JournalText::Parse(text)) << std::string(text.begin(), text.end());
}

TEST(UpdateWorkPaths, APartIsNamedAfterTheReleaseOfItsTarget) {
    const std::wstring name = UpdateWorkPaths::PartName(L"C:\\P\\A.dll", L"2024-03-01 10:00", 5);
    EXPECT_EQ(name.size(), 20u);
    EXPECT_EQ(name.substr(16), L".zip");
    // The same release of the same file, its path in another case: the same part.
    EXPECT_EQ(UpdateWorkPaths::PartName(L"c:\\p\\a.DLL", L"2024-03-01 10:00", 5), name);
    // Another file, date or size: another part.
    EXPECT_NE(UpdateWorkPaths::PartName(L"C:\\P\\B.dll", L"2024-03-01 10:00", 5), name);
    EXPECT_NE(UpdateWorkPaths::PartName(L"C:\\P\\A.dll", L"2024-03-01 10:01", 5), name);
    EXPECT_NE(UpdateWorkPaths::PartName(L"C:\\P\\A.dll", L"2024-03-01 10:00", 6), name);
    // Fields cannot run into each other.
    EXPECT_NE(UpdateWorkPaths::PartName(L"C:\\P\\A", L"1", 5),
              UpdateWorkPaths::PartName(L"C:\\P\\A1", L"", 5));
}

TEST(UpdateWorkPaths, TheRunsFilesLieInOneFolderOfTheInstallFolder) {
    for (const wchar_t* install : {L"C:\\Corvane\\Pelko\\", L"C:\\Corvane\\Pelko"}) {
        const std::wstring work = UpdateWorkPaths::WorkFolder(install);
        EXPECT_EQ(work, L"C:\\Corvane\\Pelko\\~PelkoUpdate\\");
        for (const std::wstring& path :
             {UpdateWorkPaths::LockFile(work), UpdateWorkPaths::JournalFile(work),
              UpdateWorkPaths::ManifestFolder(work), UpdateWorkPaths::PartsFolder(work),
              UpdateWorkPaths::StagedFolder(work)})
            EXPECT_EQ(path.rfind(work, 0), 0u);
    }
    EXPECT_EQ(UpdateWorkPaths::AsidePath(L"C:\\P\\A.dll"), L"C:\\P\\A.dll.~old");
}

// Only names a run made are taken for a run's folder: anything else in the temporary folder is
// someone else's.
TEST(UpdateWorkPaths, TempRunFolderNamesCarryTheirProcess) {
    EXPECT_EQ(UpdateWorkPaths::TempRunFolderName(1234, 56789), L"PelkoUpdate-1234-56789");
    EXPECT_EQ(UpdateWorkPaths::TempRunFolderOwner(
                  UpdateWorkPaths::TempRunFolderName(4294967295u, 4294967295u)),
              4294967295u);
    EXPECT_EQ(UpdateWorkPaths::TempRunFolderOwner(L"PelkoUpdate-7-0"), 7u);
    for (const wchar_t* other :
         {L"PelkoUpdate-", L"PelkoUpdate-12", L"PelkoUpdate-12-", L"PelkoUpdate--1",
          L"PelkoUpdate-12-3x", L"PelkoUpdate-12-3-4", L"PelkoUpdate-4294967296-1",
          L"PelkoUpdate-1-99999999999", L"PelkoUpdate-00000000001-1", L"pelkoupdate-1-2",
          L"PelkoUpdate-1-2.tmp", L"PelkoUpdate- 1-2", L"PelkoUpdate-+1-2", L"xPelkoUpdate-1-2"})
        EXPECT_FALSE(UpdateWorkPaths::TempRunFolderOwner(other).has_value()) << other;
}

}  // namespace
