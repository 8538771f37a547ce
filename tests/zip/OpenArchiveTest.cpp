#include <gtest/gtest.h>

#include "ZipTestSupport.h"
#include "zip/CZipArchive.h"
#include "zip/CZipException.h"

namespace {

using ZipTest::ErrorOf;
using ZipTest::Fixture;

TEST(OpenArchive, EndRecordAndDirectoryAreFoundOrRefused) {
    const struct {
        const wchar_t* fixture;
        int error;
        int count;
    } cases[] = {
        {L"plain.zip", ZipTest::noError, 1},
        {L"empty.zip", ZipTest::noError, 0},
        {L"comment65535.zip", ZipTest::noError, 1},
        {L"signature_across_chunks.zip", ZipTest::noError, 1},
        // The empty end record inside the comment is nearer the end, so it is the one taken.
        {L"signature_in_comment.zip", ZipTest::noError, 0},
        {L"info_folder_first.zip", ZipTest::noError, 3},
        {L"split.zip", ZipTest::noError, 1},
        {L"zero.bin", CZipException::cdirNotFound, 0},
        {L"end_too_far.zip", CZipException::cdirNotFound, 0},
        {L"short.bin", CZipException::badZipFile, 0},
        {L"short_after_signature.bin", CZipException::badZipFile, 0},
        {L"entries0_size12.zip", CZipException::badZipFile, 0},
        {L"entries_ffff.zip", CZipException::badZipFile, 0},
        {L"zip64_locator.zip", CZipException::noZip64, 0},
        {L"stray_extra.zip", CZipException::badZipFile, 0},
        {L"duplicate_offsets.zip", CZipException::badZipFile, 0},
        {L"directory_past_end.zip", CZipException::badZipFile, 0},
        {L"comment_truncated.zip", CZipException::badZipFile, 0},
        {L"split_dir_first.zip", ZipTest::noError, 1},
        {L"no-such-archive.zip", ZipTest::fileError, 0},
    };
    for (const auto& c : cases) {
        CZipArchive archive;
        EXPECT_EQ(ErrorOf([&] { EXPECT_TRUE(archive.OpenArchive(Fixture(c.fixture), 0, 0)); }),
                  c.error)
            << c.fixture;
        if (c.error == ZipTest::noError) {
            EXPECT_EQ(archive.GetCount(), c.count) << c.fixture;
        }
    }
}

TEST(OpenArchive, ErrorsCarryTheArchivePathExceptForDuplicateOffsets) {
    CZipArchive damaged;
    try {
        damaged.OpenArchive(Fixture(L"stray_extra.zip"), 0, 0);
        FAIL() << "no exception";
    } catch (CZipException* e) {
        EXPECT_EQ(e->archivePath, Fixture(L"stray_extra.zip"));
        e->Delete();
    }
    CZipArchive duplicates;
    try {
        duplicates.OpenArchive(Fixture(L"duplicate_offsets.zip"), 0, 0);
        FAIL() << "no exception";
    } catch (CZipException* e) {
        EXPECT_EQ(e->archivePath, L"");
        e->Delete();
    }
}

TEST(OpenArchive, DataInFrontOfTheArchiveIsSkipped) {
    CZipArchive archive;
    ASSERT_TRUE(archive.OpenArchive(Fixture(L"prefix100.zip"), 0, 0));
    EXPECT_EQ(archive.GetBytesBeforeZip(), 100u);
    EXPECT_EQ(archive.GetEntry(0)->GetName(), L"python.bin");
    archive.CloseArchive(0, false);
}

TEST(OpenArchive, EntriesAreSortedByTheirLocalHeaders) {
    CZipArchive archive;
    ASSERT_TRUE(archive.OpenArchive(Fixture(L"central_reversed.zip"), 1, 0));
    EXPECT_EQ(archive.GetEntry(0)->GetName(), L"first.txt");
    EXPECT_EQ(archive.GetEntry(1)->GetName(), L"second.txt");
    EXPECT_EQ(archive.GetEntry(2), nullptr);
    EXPECT_EQ(archive.GetEntry(0xFFFF), nullptr);
}

TEST(OpenArchive, OneArchiveAtATimeAndClosingMakesRoom) {
    CZipArchive archive;
    ASSERT_TRUE(archive.OpenArchive(Fixture(L"plain.zip"), 0, 0));
    EXPECT_FALSE(archive.OpenArchive(Fixture(L"empty.zip"), 0, 0));
    archive.CloseArchive(0, false);
    EXPECT_TRUE(archive.IsClosed());
    EXPECT_EQ(archive.GetEntry(0), nullptr);
    archive.CloseArchive(0, false);
    ASSERT_TRUE(archive.OpenArchive(Fixture(L"empty.zip"), 0, 0));
    EXPECT_EQ(archive.GetCount(), 0);
}

TEST(OpenArchive, NamesUseTheCodePageOfTheirSystem) {
    const struct {
        const wchar_t* fixture;
        const wchar_t* name;
    } cases[] = {
        {L"name_oem.zip", L"\u00FCber.txt"},
        {L"name_ansi.zip", L"\u00FCber.txt"},
        {L"name_encoding.zip", L"\uD55C\uAE00/\uD30C\uC77C.txt"},
        {L"info_nested.zip", L"dir\\sub\\file.txt"},
    };
    for (const auto& c : cases) {
        CZipArchive archive;
        ASSERT_TRUE(archive.OpenArchive(Fixture(c.fixture), 1, 0)) << c.fixture;
        EXPECT_EQ(archive.GetEntry(0)->GetName(), c.name) << c.fixture;
    }
}

}  // namespace
