// Pure rules of an update run's own files: the journal's text and the names of package parts.
#include <gtest/gtest.h>

#include "update/CInstalledFileChanges.h"
#include "update/EntryPathRule.h"
#include "update/JournalPathRule.h"
#include "update/JournalText.h"
#include "update/PlaceFolders.h"
#include "update/PostponedCommits.h"
#include "update/UpdateWorkPaths.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

const std::wstring kDigest = L"14afd89d" + std::wstring(56, L'0');

const std::vector<JournalEntry> kEntries = {
    {L"C:\\P\\A.dll", L"C:\\P\\~PelkoUpdate\\staged\\0", L"C:\\P\\A.dll.~old", true, kDigest},
    {L"C:\\P\\sub\\B.txt", L"C:\\P\\~PelkoUpdate\\staged\\1", L"C:\\P\\sub\\B.txt.~old", false},
    {L"C:\\T\\C.txt", L"C:\\P\\~PelkoUpdate\\staged\\2", L"C:\\T\\C.txt.~old", false, L"",
     L"C:\\T\\"}};

TEST(JournalText, ReadsBackWhatItWrote) {
    EXPECT_EQ(JournalText::Parse(JournalText::Format(kEntries)), kEntries);
    EXPECT_EQ(JournalText::Parse(JournalText::Format({})), std::vector<JournalEntry>{});
}

// Left by a build before entries carried their file's SHA-256: read, with none known.
TEST(JournalText, AJournalOfTheFirstFormReadsWithoutDigests) {
    const auto entries = JournalText::Parse(
        L"PelkoWebLoader commit 1\nF\t1\tC:\\P\\A.dll\tC:\\P\\~PelkoUpdate\\staged\\0\t"
        L"C:\\P\\A.dll.~old\nend\n");
    const std::vector<JournalEntry> expected = {
        {L"C:\\P\\A.dll", L"C:\\P\\~PelkoUpdate\\staged\\0", L"C:\\P\\A.dll.~old", true}};
    EXPECT_EQ(entries, expected);
}

// Left by a build before entries carried their base folder: read, with none (the install
// folder's, where every target of such a build lay).
TEST(JournalText, AJournalOfTheSecondFormReadsWithoutBaseFolders) {
    const auto entries = JournalText::Parse(
        L"PelkoWebLoader commit 2\nF\t1\tC:\\P\\A.dll\tC:\\P\\~PelkoUpdate\\staged\\0\t"
        L"C:\\P\\A.dll.~old\t" + kDigest + L"\nend\n");
    const std::vector<JournalEntry> expected = {
        {L"C:\\P\\A.dll", L"C:\\P\\~PelkoUpdate\\staged\\0", L"C:\\P\\A.dll.~old", true, kDigest}};
    EXPECT_EQ(entries, expected);
}

TEST(JournalText, AJournalCutShortOrDamagedIsNoJournal) {
    const std::wstring whole = JournalText::Format(kEntries);
    // Every cut, even one that ends on a line end, loses the end line.
    for (size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(JournalText::Parse(whole.substr(0, length))) << length;
    const std::wstring line = L"F\t1\tC:\\a\tC:\\b\tC:\\c\t";
    const std::wstring damaged[] = {
        L"PelkoWebLoader commit 4\nend\n",
        L"PelkoWebLoader commit 3\n" + line + kDigest + L"\nend\n",
        L"PelkoWebLoader commit 3\n" + line + kDigest + L"\tC:\\T\\\tx\nend\n",
        L"PelkoWebLoader commit 2\n" + line + kDigest + L"\tC:\\T\\\nend\n",
        L"PelkoWebLoader commit 2\n" + line + kDigest.substr(1) + L"\nend\n",
        L"PelkoWebLoader commit 2\n" + line + kDigest + L"0\nend\n",
        L"PelkoWebLoader commit 2\n" + line + L"14AFD89D" + kDigest.substr(8) + L"\nend\n",
        L"PelkoWebLoader commit 2\n" + line + L"g" + kDigest.substr(1) + L"\nend\n",
        L"PelkoWebLoader commit 2\nF\t1\tC:\\a\tC:\\b\tC:\\c\nend\n",
        L"PelkoWebLoader commit 1\nF\t2\tC:\\a\tC:\\b\tC:\\c\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\t\tC:\\c\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\tC:\\b\nend\n",
        L"PelkoWebLoader commit 1\nF\t1\tC:\\a\tC:\\b\tC:\\c\td\nend\n",
        L"PelkoWebLoader commit 1\nend\nend\n",
    };
    for (const std::wstring& text : damaged)
        EXPECT_FALSE(JournalText::Parse(text)) << std::string(text.begin(), text.end());
}

TEST(JournalPathRule, OnlyTheJournalOfAnInstallFoldersWorkFolderHasFolders) {
    const auto folders = JournalPathRule::FoldersOf(L"C:\\P\\~PelkoUpdate\\commit.journal");
    ASSERT_TRUE(folders.has_value());
    EXPECT_EQ(folders->install, L"C:\\P\\");
    EXPECT_EQ(folders->work, L"C:\\P\\~PelkoUpdate\\");
    for (const wchar_t* other :
         {L"C:\\P\\other\\commit.journal", L"C:\\P\\~PelkoUpdate\\x.journal", L"commit.journal",
          L"~PelkoUpdate\\commit.journal", L"\\\\host\\share\\~PelkoUpdate\\commit.journal",
          L"C:~PelkoUpdate\\commit.journal", L""})
        EXPECT_FALSE(JournalPathRule::FoldersOf(other).has_value()) << Narrow(other);
}

// Recovery acts on a journal only when each of its paths is written as a place of its commit:
// the text itself, with nothing the platform would resolve elsewhere.
TEST(JournalPathRule, EveryPathLiesWhereTheCommitPutsFiles) {
    const JournalPathRule::JournalFolders folders{L"C:\\P\\", L"C:\\P\\~PelkoUpdate\\"};
    const std::wstring staged = L"C:\\P\\~PelkoUpdate\\staged\\0";
    const struct {
        const char* name;
        std::wstring target;
        std::wstring staged;
        std::wstring aside;
        bool accepted;
    } cases[] = {
        {"in the install folder", L"C:\\P\\A.dll", staged, L"C:\\P\\A.dll.~old", true},
        {"in a sub-folder", L"C:\\P\\s\\A.dll", staged, L"C:\\P\\s\\A.dll.~old", true},
        {"another case", L"c:\\p\\A.dll", L"c:\\p\\~pelkoupdate\\STAGED\\7", L"c:\\p\\A.dll.~old",
         true},
        {"a later old file", L"C:\\P\\A.dll", staged, L"C:\\P\\A.dll.~old12", true},
        {"target outside", L"C:\\Q\\A.dll", staged, L"C:\\Q\\A.dll.~old", false},
        {"target in a sibling", L"C:\\PQ\\A.dll", staged, L"C:\\PQ\\A.dll.~old", false},
        {"target with ..", L"C:\\P\\..\\Q\\A.dll", staged, L"C:\\P\\..\\Q\\A.dll.~old", false},
        {"target with .", L"C:\\P\\.\\A.dll", staged, L"C:\\P\\.\\A.dll.~old", false},
        {"UNC target", L"\\\\host\\share\\A.dll", staged, L"\\\\host\\share\\A.dll.~old", false},
        {"device path", L"\\\\?\\C:\\P\\A.dll", staged, L"\\\\?\\C:\\P\\A.dll.~old", false},
        {"slashes", L"C:\\P/A.dll", staged, L"C:\\P/A.dll.~old", false},
        {"doubled separator", L"C:\\P\\\\A.dll", staged, L"C:\\P\\\\A.dll.~old", false},
        {"stream", L"C:\\P\\A.dll:x", staged, L"C:\\P\\A.dll:x.~old", false},
        {"device name", L"C:\\P\\CON", staged, L"C:\\P\\CON.~old", false},
        {"trailing dot", L"C:\\P\\s.\\A.dll", staged, L"C:\\P\\s.\\A.dll.~old", false},
        {"the folder itself", L"C:\\P\\", staged, L"C:\\P\\.~old", false},
        {"target in the work folder", L"C:\\P\\~PelkoUpdate\\run.lock", staged,
         L"C:\\P\\~PelkoUpdate\\run.lock.~old", false},
        {"old file elsewhere", L"C:\\P\\A.dll", staged, L"C:\\Q\\A.dll.~old", false},
        {"old file of another target", L"C:\\P\\A.dll", staged, L"C:\\P\\B.dll.~old", false},
        {"old file is the target", L"C:\\P\\A.dll", staged, L"C:\\P\\A.dll", false},
        {"old file with more", L"C:\\P\\A.dll", staged, L"C:\\P\\A.dll.~old\\x", false},
        {"staged outside", L"C:\\P\\A.dll", L"C:\\Q\\0", L"C:\\P\\A.dll.~old", false},
        {"staged in the install folder", L"C:\\P\\A.dll", L"C:\\P\\B.dll", L"C:\\P\\A.dll.~old",
         false},
        {"staged elsewhere in the work folder", L"C:\\P\\A.dll",
         L"C:\\P\\~PelkoUpdate\\commit.journal", L"C:\\P\\A.dll.~old", false},
        {"staged with ..", L"C:\\P\\A.dll", L"C:\\P\\~PelkoUpdate\\staged\\..\\..\\..\\Q\\0",
         L"C:\\P\\A.dll.~old", false},
        {"UNC staged", L"C:\\P\\A.dll", L"\\\\host\\P\\~PelkoUpdate\\staged\\0",
         L"C:\\P\\A.dll.~old", false},
    };
    for (const auto& c : cases) {
        const JournalEntry entry{c.target, c.staged, c.aside, true, kDigest};
        EXPECT_EQ(!JournalPathRule::Refusal(entry, folders).has_value(), c.accepted) << c.name;
    }
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

TEST(UpdateWorkPaths, ADeltaPartIsNamedAfterItsReleaseAndItsDelta) {
    const std::wstring part = UpdateWorkPaths::PartName(L"C:\\P\\A.dll", L"2024-03-01 10:00", 5);
    const std::wstring sha(64, L'a');
    const std::wstring name = UpdateWorkPaths::DeltaPartName(part, sha);
    EXPECT_EQ(part.substr(0, 16) + L"-aaaaaaaaaaaaaaaa.pdelta", name);
    EXPECT_TRUE(UpdateWorkPaths::IsDeltaPartName(name));
    EXPECT_FALSE(UpdateWorkPaths::IsDeltaPartName(part));
    EXPECT_FALSE(UpdateWorkPaths::IsDeltaPartName(L"a.pdelta.zip"));
    // Another delta of the same release, or the same delta of another release: another part.
    EXPECT_NE(UpdateWorkPaths::DeltaPartName(part, L"b" + sha.substr(1)), name);
    EXPECT_NE(UpdateWorkPaths::DeltaPartName(
                  UpdateWorkPaths::PartName(L"C:\\P\\A.dll", L"2024-03-01 10:01", 5), sha),
              name);
}

// A change begins only before the stop; the stop then sees it under way until it ends.
TEST(CInstalledFileChanges, AStopRefusesNewChangesAndSeesTheOneUnderWay) {
    std::atomic<bool> stopped{false};
    CInstalledFileChanges changes(stopped);
    EXPECT_FALSE(changes.UnderWay());
    {
        const CInstalledFileChanges::Scope recovery(changes);
        EXPECT_TRUE(recovery.Entered());
        stopped = true;
        EXPECT_TRUE(changes.UnderWay());
        const CInstalledFileChanges::Scope registration(changes);
        EXPECT_FALSE(registration.Entered());
        EXPECT_TRUE(changes.UnderWay());
    }
    EXPECT_FALSE(changes.UnderWay());
}

// Five postponed launches in a row pass quietly; later ones tell the user once a day.
TEST(PostponedCommitRule, TellsAfterFiveLaunchesInARowOnceADay) {
    const struct {
        const char* name;
        PostponedCommits before;
        int64_t today;
        PostponedCommits after;
        bool tell;
    } cases[] = {
        {"first", {0, std::nullopt}, 100, {1, std::nullopt}, false},
        {"fifth", {4, std::nullopt}, 100, {5, std::nullopt}, false},
        {"sixth", {5, std::nullopt}, 100, {6, 100}, true},
        {"seventh, same day", {6, 100}, 100, {7, 100}, false},
        {"next day", {7, 100}, 101, {8, 101}, true},
        {"told long ago, count started again", {0, 90}, 100, {1, 90}, false},
        {"count at its end", {UINT32_MAX, 99}, 100, {UINT32_MAX, 100}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = PostponedCommitRule::Postponed(c.before, c.today);
        EXPECT_EQ(outcome.record, c.after);
        EXPECT_EQ(outcome.tellUser, c.tell);
    }
}

TEST(PostponedCommitRule, ReadsBackWhatItWroteAndNothingElse) {
    for (const PostponedCommits& record :
         {PostponedCommits{}, PostponedCommits{7, 738000}, PostponedCommits{UINT32_MAX, 0}})
        EXPECT_EQ(PostponedCommitRule::Parse(PostponedCommitRule::Format(record)), record);
    EXPECT_EQ(PostponedCommitRule::Format({6, 738000}), L"6 738000\n");
    EXPECT_EQ(PostponedCommitRule::Format({3, std::nullopt}), L"3 -\n");
    for (const wchar_t* text : {L"", L"6 738000", L"6\n", L"x 1\n", L"6 1x\n", L"-1 -\n",
                                L"4294967296 -\n", L"6  1\n", L"6 -1\n"})
        EXPECT_EQ(PostponedCommitRule::Parse(text), PostponedCommits{}) << Narrow(text);
}

TEST(UpdateWorkPaths, TheRunsFilesLieInOneFolderOfTheInstallFolder) {
    for (const wchar_t* install : {L"C:\\Corvane\\Pelko\\", L"C:\\Corvane\\Pelko"}) {
        const std::wstring work = UpdateWorkPaths::WorkFolder(install);
        EXPECT_EQ(work, L"C:\\Corvane\\Pelko\\~PelkoUpdate\\");
        // Its records take their list from the install folder.
        EXPECT_EQ(UpdateWorkPaths::InstallFolderOf(work), L"C:\\Corvane\\Pelko\\");
        for (const std::wstring& path :
             {UpdateWorkPaths::LockFile(work), UpdateWorkPaths::JournalFile(work),
              UpdateWorkPaths::PostponedFile(work), UpdateWorkPaths::InstallRecordFile(work),
              UpdateWorkPaths::ManifestFolder(work),
              UpdateWorkPaths::PartsFolder(work), UpdateWorkPaths::StagedFolder(work)})
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

namespace {

TEST(EntryPathRule, FolderTypeListsAreWholeNumbersOtherThanZero) {
    const struct {
        std::string text;
        std::optional<std::vector<int>> types;
    } cases[] = {
        {"", std::vector<int>{}},
        {"60", std::vector<int>{60}},
        {"60,67", std::vector<int>{60, 67}},
        {"60;67", std::vector<int>{60, 67}},
        {" 7 , -1 ", std::vector<int>{7, -1}},
        {"0", std::nullopt},
        {"60,0", std::nullopt},
        {"6o", std::nullopt},
        {"-", std::nullopt},
        {"1234567890", std::nullopt},
        {"60x,67", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntryPathRule::ParseFolderTypes(c.text), c.types) << c.text;
}

// The folders a commit judges for a target: from its base down to the target's own.
TEST(PlaceFolders, AreTheBaseAndEveryFolderDownToTheTargets) {
    using Folders = std::vector<std::wstring>;
    const struct {
        const wchar_t* base;
        const wchar_t* target;
        Folders folders;
    } cases[] = {
        {L"C:\\P\\", L"C:\\P\\A.dll", {L"C:\\P"}},
        {L"C:\\P\\", L"C:\\P\\sub\\deeper\\B.txt", {L"C:\\P", L"C:\\P\\sub", L"C:\\P\\sub\\deeper"}},
        {L"C:\\", L"C:\\T\\C.txt", {L"C:\\", L"C:\\T"}},
        {L"C:\\P\\", L"C:\\Q\\A.dll", {}},
        {L"C:\\P", L"C:\\P\\A.dll", {}},
        {L"C:\\P\\", L"C:\\P\\", {}},
        {L"", L"A.dll", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceFolders::DownTo(c.base, c.target), c.folders) << Narrow(c.target);
    EXPECT_TRUE(PlaceFolders::IsDriveRoot(L"D:\\"));
    EXPECT_FALSE(PlaceFolders::IsDriveRoot(L"D:"));
    EXPECT_FALSE(PlaceFolders::IsDriveRoot(L"D:\\a"));
}

}  // namespace
