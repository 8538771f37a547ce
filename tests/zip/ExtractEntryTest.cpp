#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "framework/FileSystem.h"
#include "zip/CZipArchive.h"
#include "zip/CZipException.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using ZipTest::ErrorOf;
using ZipTest::ExtractFirst;
using ZipTest::Fixture;
using ZipTest::ScratchFolder;

bool IsReadOnly(const fs::path& path) {
    const uint32_t attributes = FileSystem::GetAttributes(path.wstring());
    return attributes != FileSystem::invalidAttributes &&
           (attributes & FileSystem::attributeReadOnly);
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

int64_t LocalTime(int year, int month, int day) {
    std::tm fields{};
    fields.tm_year = year - 1900, fields.tm_mon = month - 1, fields.tm_mday = day;
    fields.tm_isdst = -1;
    return FileSystem::MakeLocalTime(fields);
}

TEST(ExtractEntry, WritesTheFirstEntryBelowTheFolderWithItsPath) {
    const std::string text = ZipTest::PackageText();
    const struct {
        const wchar_t* fixture;
        const char* listing;
        const char* file;
        const std::string* content;
    } cases[] = {
        {L"info_nested.zip", "dir/ dir/sub/ dir/sub/file.txt ", "dir/sub/file.txt",
         &ZipTest::Payload()},
        {L"info_stored.zip", "dir/ dir/sub/ dir/sub/file.txt ", "dir/sub/file.txt",
         &ZipTest::Payload()},
        {L"bsdtar.zip", "dir/ dir/sub/ dir/sub/file.txt ", "dir/sub/file.txt", &ZipTest::Payload()},
        {L"prefix100.zip", "python.bin ", "python.bin", &ZipTest::Payload()},
        {L"bit3_zero_local.zip", "a.txt ", "a.txt", &text},
        {L"stored.zip", "a.txt ", "a.txt", &text},
        {L"split.zip", "split.txt ", "split.txt", &text},
        {L"central_reversed.zip", "first.txt ", "first.txt", nullptr},
        {L"drive_name.zip", "y/ y/b.txt ", "y/b.txt", &text},
        {L"unc_name.zip", "srv/ srv/share/ srv/share/c.txt ", "srv/share/c.txt", &text},
        {L"name_oem.zip", "\u00FCber.txt ", nullptr, &text},
        {L"name_encoding.zip", "\uD55C\uAE00/ \uD55C\uAE00/\uD30C\uC77C.txt ", nullptr, &text},
        {L"split_dir_first.zip", "split.txt ", "split.txt", &text},
        // Absolute names from the name-encoding block, which keep their "/", stay below.
        {L"block_absolute_0.zip", "abs/ abs/x.txt ", "abs/x.txt", &text},
        {L"block_absolute_1.zip", "abs/ abs/x.txt ", "abs/x.txt", &text},
        {L"block_absolute_2.zip", "srv/ srv/share/ srv/share/x.txt ", "srv/share/x.txt", &text},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch("written");
        const auto extraction = ExtractFirst(c.fixture, scratch.Text());
        EXPECT_EQ(extraction.error, ZipTest::noError) << c.fixture;
        EXPECT_TRUE(extraction.result) << c.fixture;
        EXPECT_EQ(scratch.Listing(), c.listing) << c.fixture;
        if (c.file && c.content) {
            EXPECT_TRUE(ZipTest::ReadAll(scratch.Path() / c.file) == *c.content) << c.fixture;
        }
    }
}

TEST(ExtractEntry, DataIsReadAcrossTheVolumesOfASplitArchive) {
    ScratchFolder scratch("spread");
    const auto extraction = ExtractFirst(L"spread.zip", scratch.Text());
    EXPECT_EQ(extraction.error, ZipTest::noError);
    EXPECT_TRUE(extraction.result);
    EXPECT_TRUE(ZipTest::ReadAll(scratch.Path() / "spread.txt") ==
                ZipTest::Payload().substr(0, 5000));
}

TEST(ExtractEntry, EmptyEntriesGiveEmptyFiles) {
    for (const wchar_t* fixture : {L"zero_deflated.zip", L"stored_empty.zip"}) {
        ScratchFolder scratch("empty");
        const auto extraction = ExtractFirst(fixture, scratch.Text());
        EXPECT_EQ(extraction.error, ZipTest::noError) << fixture;
        EXPECT_TRUE(extraction.result) << fixture;
        for (const auto& item : fs::directory_iterator(scratch.Path()))
            EXPECT_EQ(fs::file_size(item.path()), 0u) << fixture;
    }
}

TEST(ExtractEntry, AFolderEntryFirstYieldsOnlyTheFolder) {
    const struct {
        const wchar_t* fixture;
        const char* listing;
    } cases[] = {
        {L"info_folder_first.zip", "dir/ "},
        {L"folder_first.zip", "pkgdir/ "},
        {L"dos_folder.zip", "dosdir/ "},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch("folder");
        const auto extraction = ExtractFirst(c.fixture, scratch.Text());
        EXPECT_TRUE(extraction.result) << c.fixture;
        EXPECT_EQ(scratch.Listing(), c.listing) << c.fixture;
    }
}

TEST(ExtractEntry, TheFileGetsTheEntryTimeAndAttributes) {
    ScratchFolder scratch("stamped");
    ASSERT_TRUE(ExtractFirst(L"python_1980.zip", scratch.Text()).result);
    EXPECT_EQ(ZipTest::ModificationTime(scratch.Path() / "python.bin"), LocalTime(1980, 1, 1));
    ASSERT_TRUE(ExtractFirst(L"date0.zip", scratch.Text()).result);
    EXPECT_EQ(ZipTest::ModificationTime(scratch.Path() / "a.txt"), LocalTime(1979, 11, 30));

    const struct {
        const wchar_t* fixture;
        uint32_t attributes;
    } cases[] = {
        {L"unix644.zip", 0x20},
        {L"unix444.zip", 0x21},
        {L"info_readonly.zip", 0x21},
        {L"dos_hidden.zip", 0x23},
    };
    for (const auto& c : cases) {
        ScratchFolder attributed("attributed");
        ASSERT_TRUE(ExtractFirst(c.fixture, attributed.Text()).result) << c.fixture;
        for (const auto& item : fs::directory_iterator(attributed.Path())) {
            EXPECT_EQ(IsReadOnly(item.path()), (c.attributes & 1) != 0) << c.fixture;
#ifdef _WIN32
            EXPECT_EQ(FileSystem::GetAttributes(item.path().wstring()), c.attributes) << c.fixture;
#endif
        }
    }
}

TEST(ExtractEntry, AnExistingReadOnlyFileIsReplaced) {
    ScratchFolder scratch("replaced");
    const fs::path target = scratch.Path() / "a.txt";
    WriteFile(target, "installed");
    FileSystem::SetAttributes(target.wstring(), FileSystem::attributeReadOnly);
    ASSERT_TRUE(ExtractFirst(L"unix444.zip", scratch.Text()).result);
    EXPECT_TRUE(ZipTest::ReadAll(target) == ZipTest::PackageText());
    EXPECT_TRUE(IsReadOnly(target));
    WriteFile(scratch.Path() / "other.txt", "x");
    ASSERT_TRUE(ExtractFirst(L"unix644.zip", scratch.Text()).result);
    EXPECT_FALSE(IsReadOnly(target));
    EXPECT_EQ(scratch.Listing(), "a.txt other.txt ");
}

// A bad package never touches the installed file and leaves no temporary file behind.
TEST(ExtractEntry, FailuresLeaveTheInstalledFileAsItWas) {
    const struct {
        const wchar_t* fixture;
        int error;
    } cases[] = {
        {L"crc_mismatch.zip", CZipException::badCrc},
        {L"missing_last_block.zip", CZipException::badZipFile},
        {L"corrupt_deflate.zip", CZipException::dataError},
        {L"short_stream.zip", ZipTest::noError},
        {L"stored_short.zip", ZipTest::noError},
        // Declared sizes smaller than the data.
        {L"stored_declared_smaller.zip", CZipException::badZipFile},
        {L"deflated_declared_smaller.zip", CZipException::badZipFile},
        {L"stored_zero_size.zip", CZipException::badZipFile},
        {L"encrypted.zip", CZipException::badPassword},
        {L"aes.zip", CZipException::noAes},
        {L"method12.zip", ZipTest::noError},
        {L"damaged_local_signature.zip", CZipException::badZipFile},
        {L"damaged_local_flags.zip", CZipException::badZipFile},
        {L"damaged_local_method.zip", CZipException::badZipFile},
        {L"damaged_local_crc.zip", CZipException::badZipFile},
        {L"damaged_local_csize.zip", CZipException::badZipFile},
        {L"damaged_local_usize.zip", CZipException::badZipFile},
        {L"damaged_local_extra.zip", CZipException::badZipFile},
        {L"damaged_offset.zip", CZipException::badZipFile},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch("kept");
        const fs::path target = scratch.Path() / "a.txt";
        WriteFile(target, "installed");
        FileSystem::SetAttributes(target.wstring(), FileSystem::attributeReadOnly);
        const auto extraction = ExtractFirst(c.fixture, scratch.Text());
        EXPECT_FALSE(extraction.result) << c.fixture;
        EXPECT_EQ(extraction.error, c.error) << c.fixture;
        EXPECT_EQ(ZipTest::ReadAll(target), "installed") << c.fixture;
        EXPECT_TRUE(IsReadOnly(target)) << c.fixture;
        EXPECT_EQ(scratch.Listing(), "a.txt ") << c.fixture;
    }
}

#ifdef _WIN32
constexpr uint32_t guarded =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The new file is complete but cannot take the place of a target that is in use.
TEST(ExtractEntry, ATargetInUseIsLeftAsItWas) {
    ScratchFolder scratch("inuse");
    const fs::path target = scratch.Path() / "a.txt";
    WriteFile(target, "installed");
    FileSystem::SetAttributes(target.wstring(), guarded);
    const uint32_t before = FileSystem::GetAttributes(target.wstring());
    ASSERT_EQ(before & guarded, guarded);
    const HANDLE held = CreateFileW(target.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto extraction = ExtractFirst(L"unix644.zip", scratch.Text());
    CloseHandle(held);
    EXPECT_FALSE(extraction.result);
    EXPECT_EQ(extraction.error, CZipException::notRenamed);
    EXPECT_EQ(ZipTest::ReadAll(target), "installed");
    EXPECT_EQ(FileSystem::GetAttributes(target.wstring()), before);
    EXPECT_EQ(scratch.Listing(), "a.txt ");
}

// A hidden or system file is replaced like any other and ends with the entry's attributes.
TEST(ExtractEntry, HiddenAndSystemTargetsAreReplaced) {
    const struct {
        uint32_t before;
        const wchar_t* fixture;
        uint32_t after;
    } cases[] = {
        {FILE_ATTRIBUTE_HIDDEN, L"unix644.zip", 0x20},
        {FILE_ATTRIBUTE_SYSTEM, L"unix444.zip", 0x21},
        {guarded, L"dos_hidden.zip", 0x23},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, L"unix644.zip", 0x20},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch("hidden");
        const fs::path target = scratch.Path() / "a.txt";
        WriteFile(target, "installed");
        ASSERT_TRUE(FileSystem::SetAttributes(target.wstring(), c.before));
        EXPECT_TRUE(ExtractFirst(c.fixture, scratch.Text()).result) << c.fixture;
        EXPECT_TRUE(ZipTest::ReadAll(target) == ZipTest::PackageText()) << c.fixture;
        EXPECT_EQ(FileSystem::GetAttributes(target.wstring()), c.after) << c.fixture;
        EXPECT_EQ(scratch.Listing(), "a.txt ") << c.fixture;
    }
}
#endif

TEST(ExtractEntry, ACutDeflateStreamFailsWithoutWriting) {
    ScratchFolder scratch("cut");
    const auto extraction = ExtractFirst(L"truncated_deflate.zip", scratch.Text());
    EXPECT_FALSE(extraction.result);
    EXPECT_NE(extraction.error, ZipTest::noError);
    EXPECT_EQ(scratch.Listing(), "");
}

std::vector<std::wstring> Numbered(const std::wstring& stem, int count) {
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) names.push_back(stem + std::to_wstring(i) + L".zip");
    return names;
}

// Climbing out, from the stored name or the name-encoding block, and naming a stream.
TEST(ExtractEntry, NamesThatLeaveTheFolderAreRefusedAndNothingIsWritten) {
    std::vector<std::wstring> fixtures = Numbered(L"parent_", 9);
    for (const auto& more : {Numbered(L"block_parent_", 5), Numbered(L"stream_", 4)})
        fixtures.insert(fixtures.end(), more.begin(), more.end());
    for (const auto& fixture : fixtures) {
        ScratchFolder scratch("climb");
        const fs::path inner = scratch.Path() / "inner" / "deeper";
        fs::create_directories(inner);
        const auto extraction = ExtractFirst(fixture, inner.wstring());
        EXPECT_FALSE(extraction.result) << fixture;
        EXPECT_EQ(extraction.error, ZipTest::noError) << fixture;
        EXPECT_EQ(scratch.Listing(), "inner/ inner/deeper/ ") << fixture;
    }
}

// Folder entries (hidden, system and read-only) whose names come down to the destination.
TEST(ExtractEntry, TheDestinationKeepsItsOwnAttributes) {
    for (const auto& fixture : Numbered(L"self_", 8)) {
        ScratchFolder scratch("self");
        const fs::path destination = scratch.Path() / "destination";
        fs::create_directories(destination);
        const uint32_t before = FileSystem::GetAttributes(destination.wstring());
        const auto extraction = ExtractFirst(fixture, destination.wstring());
        EXPECT_FALSE(extraction.result) << fixture;
        EXPECT_EQ(extraction.error, ZipTest::noError) << fixture;
        EXPECT_EQ(FileSystem::GetAttributes(destination.wstring()), before) << fixture;
        EXPECT_EQ(scratch.Listing(), "destination/ ") << fixture;
    }
}

// A folder nested below base whose path is length units long, in parts of at most 200.
fs::path FolderOfLength(const fs::path& base, size_t length) {
    fs::path folder = base;
    for (size_t have = FileSystem::PathLength(base.wstring()); have < length;
         have = FileSystem::PathLength(folder.wstring())) {
        size_t part = std::min<size_t>(200, length - have - 1);
        // A separator alone cannot make up the rest.
        if (length - have - 1 - part == 1) --part;
        folder /= std::string(part, 'p');
    }
    return folder;
}

TEST(ExtractEntry, TargetsUpToThePathLimitAreWrittenLongerOnesRefused) {
    const size_t name = std::wstring(L"\\a.txt").size();
    // In an existing folder, the target may use every unit the file calls take.
    for (const size_t extra : {0, 1}) {
        ScratchFolder scratch("long");
        const size_t length = FileSystem::LongestPath(scratch.Text(), false) + extra;
        const fs::path folder = FolderOfLength(scratch.Path(), length - name);
        fs::create_directories(folder);
        ASSERT_EQ(FileSystem::PathLength((folder / "a.txt").wstring()), length);
        const auto extraction = ExtractFirst(L"unix644.zip", folder.wstring());
        EXPECT_EQ(extraction.error, ZipTest::noError) << length;
        EXPECT_EQ(extraction.result, extra == 0) << length;
        size_t files = 0;
        for (const auto& item : fs::recursive_directory_iterator(scratch.Path()))
            files += item.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, extra == 0 ? 1u : 0u) << length;
        if (extra == 0) {
            EXPECT_TRUE(ZipTest::ReadAll(folder / "a.txt") == ZipTest::PackageText());
        }
    }
    // 16,000 levels, and a folder entry one unit longer than a new folder may be: nothing is
    // made for either.
    ScratchFolder scratch("deep");
    const size_t longestFolder = FileSystem::LongestPath(scratch.Text(), true);
    const fs::path base =
        FolderOfLength(scratch.Path(), longestFolder + 1 - std::wstring(L"\\pkgdir").size());
    fs::create_directories(base);
    const std::string before = scratch.Listing();
    EXPECT_FALSE(ExtractFirst(L"deep_name.zip", scratch.Text()).result);
    EXPECT_FALSE(ExtractFirst(L"folder_first.zip", base.wstring()).result);
    EXPECT_EQ(scratch.Listing(), before);
    EXPECT_TRUE(ExtractFirst(L"folder_first.zip", base.parent_path().wstring()).result);
}

TEST(ExtractEntry, UnusableNamesAndArchivesFailSafely) {
    ScratchFolder scratch("unusable");
    EXPECT_FALSE(ExtractFirst(L"long_title.zip", scratch.Text()).result);
    const auto empty = ExtractFirst(L"empty.zip", scratch.Text());
    EXPECT_FALSE(empty.result);
    EXPECT_EQ(empty.error, ZipTest::noError);
    EXPECT_EQ(ExtractFirst(L"split_missing.zip", scratch.Text()).error, ZipTest::fileError);
    EXPECT_EQ(scratch.Listing(), "");

    // A file where a folder must go: the output cannot be created.
    WriteFile(scratch.Path() / "dir", "blocking");
    EXPECT_EQ(ExtractFirst(L"info_nested.zip", scratch.Text()).error, ZipTest::fileError);
    EXPECT_EQ(scratch.Listing(), "dir ");
}

TEST(ExtractEntry, EntriesCanBeReadInChunksAndClosedEarly) {
    CZipArchive archive;
    ASSERT_TRUE(archive.OpenArchive(Fixture(L"info_nested.zip"), 1, 0));
    ASSERT_TRUE(archive.OpenEntry(0));
    EXPECT_FALSE(archive.OpenEntry(0));
    std::string data;
    char chunk[1000];
    while (unsigned n = archive.ReadEntryData(chunk, sizeof chunk)) data.append(chunk, n);
    EXPECT_TRUE(data == ZipTest::Payload());
    EXPECT_EQ(archive.CloseEntry(nullptr), 1);
    EXPECT_EQ(archive.CloseEntry(nullptr), 0);

    ASSERT_TRUE(archive.OpenEntry(0));
    EXPECT_EQ(archive.ReadEntryData(chunk, sizeof chunk), sizeof chunk);
    EXPECT_EQ(archive.CloseEntry(nullptr), -1);
    ASSERT_TRUE(archive.OpenEntry(0));
    archive.CloseArchive(1, false);
    EXPECT_TRUE(archive.IsClosed());
}

}  // namespace
