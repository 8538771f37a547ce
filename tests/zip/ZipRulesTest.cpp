#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "framework/FileSystem.h"
#include "zip/CZipExtraField.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipMemFile.h"
#include "zip/CZipPathComponent.h"
#include "zip/CZipStorage.h"
#include "zip/CZipTargetFile.h"

namespace {

using ZipTest::ErrorOf;

TEST(CZipPathComponent, SplitsLikeThePathSplitter) {
    const struct {
        const wchar_t* path;
        const wchar_t* prefix;
        const wchar_t* drive;
        const wchar_t* directory;
        const wchar_t* title;
        const wchar_t* extension;
        const wchar_t* folderPath;
        const wchar_t* withoutDrive;
    } cases[] = {
        {L"C:\\x\\sub\\a.dll", L"", L"C:", L"x\\sub", L"a", L"dll", L"C:\\x\\sub",
         L"x\\sub\\a.dll"},
        {L"sub/a.tar.gz", L"", L"", L"sub/", L"a.tar", L"gz", L"sub/", L"sub/\\a.tar.gz"},
        {L"D:\\y\\b.txt", L"", L"D:", L"y", L"b", L"txt", L"D:\\y", L"y\\b.txt"},
        {L"\\\\srv\\share\\c.txt", L"\\\\", L"", L"srv\\share", L"c", L"txt", L"\\\\srv\\share",
         L"srv\\share\\c.txt"},
        {L"\\\\?\\C:\\d\\e", L"\\\\?\\", L"C:", L"d", L"e", L"", L"\\\\?\\C:\\d", L"d\\e"},
        {L"\\\\?\\UNC\\s\\f.x", L"\\\\?\\UNC\\", L"", L"s", L"f", L"x", L"\\\\?\\UNC\\s",
         L"s\\f.x"},
        {L"file.", L"", L"", L"", L"file", L"", L"", L"file"},
        {L".hidden", L"", L"", L"", L"", L"hidden", L"", L".hidden"},
        {L"C:", L"", L"C:", L"", L"", L"", L"C:", L""},
        {L"", L"", L"", L"", L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        CZipPathComponent split;
        ASSERT_TRUE(split.SetFullPath(c.path)) << c.path;
        EXPECT_EQ(split.prefix, c.prefix) << c.path;
        EXPECT_EQ(split.drive, c.drive) << c.path;
        EXPECT_EQ(split.directory, c.directory) << c.path;
        EXPECT_EQ(split.title, c.title) << c.path;
        EXPECT_EQ(split.extension, c.extension) << c.path;
        EXPECT_EQ(split.FolderPath(), c.folderPath) << c.path;
        EXPECT_EQ(split.PathWithoutDrive(), c.withoutDrive) << c.path;
    }
}

TEST(CZipPathComponent, PartsTooLongForTheSplitterFail) {
    CZipPathComponent split;
    EXPECT_TRUE(split.SetFullPath(std::wstring(255, L't') + L".txt"));
    EXPECT_FALSE(split.SetFullPath(std::wstring(256, L't') + L".txt"));
    EXPECT_EQ(split.title, L"");
    EXPECT_FALSE(split.SetFullPath(L"a." + std::wstring(255, L'e')));
    EXPECT_FALSE(split.SetFullPath(std::wstring(32767, L'd') + L"\\f"));
}

TEST(CZipArchive, BuildTargetPathKeepsTheDriveLessPathBelowTheFolder) {
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
        bool keepPath;
        const wchar_t* target;
    } cases[] = {
        {L"C:\\x", L"sub\\a.dll", true, L"C:\\x\\sub\\a.dll"},
        {L"C:\\x\\\\/", L"sub\\a.dll", true, L"C:\\x\\sub\\a.dll"},
        {L"C:\\x", L"D:\\y\\b.txt", true, L"C:\\x\\y\\b.txt"},
        {L"C:\\x", L"\\\\srv\\share\\c.txt", true, L"C:\\x\\srv\\share\\c.txt"},
        {L"C:\\x", L"a\\b\\", true, L"C:\\x\\a\\b"},
        {L"C:\\x", L"sub\\a.dll", false, L"C:\\x\\a.dll"},
        {L"C:\\x", L"C:a.txt", true, L"C:\\x\\a.txt"},
        {L"C:\\x", L"a\\.\\b", true, L"C:\\x\\a\\.\\b"},
        {nullptr, L"sub\\a.dll", true, L"sub\\a.dll"},
    };
    CZipArchive archive;
    for (const auto& c : cases) {
        const auto target = archive.BuildTargetPath(c.name, c.folder, c.keepPath, nullptr);
        ASSERT_TRUE(target.has_value()) << c.name;
        EXPECT_EQ(*target, c.target) << c.name;
    }
    EXPECT_EQ(*archive.BuildTargetPath(L"a.txt", L"C:\\x", true, L"n\\b.txt"), L"C:\\x\\n\\b.txt");
    EXPECT_FALSE(archive.BuildTargetPath(std::wstring(300, L'n'), L"C:\\x", true, nullptr));
    // The drive goes, and what remains would climb out.
    EXPECT_FALSE(archive.BuildTargetPath(L"C:..\\x", L"C:\\x", true, nullptr));
}

TEST(CZipArchive, BuildTargetPathRefusesTheFolderItselfStreamsAndNuls) {
    const std::wstring refused[] = {
        L"",
        L"\\",
        L"/",
        L"C:",
        L"C:\\",
        L".",
        L" ",
        L".\\. \\",
        L"a.txt:s",
        L"C:x:y.txt",
        std::wstring(L"a\0b", 3),
        L"x\\..::$I",
    };
    CZipArchive archive;
    for (const auto& name : refused)
        EXPECT_FALSE(archive.BuildTargetPath(name, L"C:\\x", true, nullptr)) << name;
    EXPECT_FALSE(archive.BuildTargetPath(L"a.txt", L"C:\\x", true, L"."));
    // Kept as it is, the drive of a name would be a stream.
    archive.removeDrive = false;
    EXPECT_FALSE(archive.BuildTargetPath(L"D:\\y\\b.txt", L"C:\\x", true, nullptr));
}

TEST(CZipTargetFile, TemporaryNamesFitTheRoomAndAreNoDeviceNames) {
    for (size_t room = 0; room <= 10; ++room) {
        const std::wstring name = CZipTargetFile::TemporaryName(0xFFFFFFFFFFull, room);
        EXPECT_EQ(name.size(), std::clamp<size_t>(room, 1, 8)) << room;
        EXPECT_EQ(name[0] == L'~', room >= 2) << room;
    }
    EXPECT_EQ(CZipTargetFile::TemporaryName(36 * 36 + 35, 4), L"~z01");
    EXPECT_NE(CZipTargetFile::TemporaryName(1, 8), CZipTargetFile::TemporaryName(2, 8));
}

TEST(CZipArchive, ParentReferencesAreRecognisedInEveryForm) {
    const struct {
        const wchar_t* name;
        bool parent;
    } cases[] = {
        {L"..\\evil.txt", true}, {L"a/../../evil", true},     {L"a\\..", true},
        {L"sub\\.. \\x", true},  {L"sub\\...\\x", true},      {L"C:..\\x", false},
        {L"..", true},           {L"a..b\\c", false},         {L".\\a.txt", false},
        {L"..a\\b", false},      {L"dir\\sub\\f.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CZipArchive::HasParentReference(c.name), c.parent) << c.name;
}

TEST(CZipFileHeader, AttributesAreConvertedFromTheSystemOfOrigin) {
    const struct {
        uint8_t system;
        uint32_t external;
        const wchar_t* name;
        uint32_t attributes;
    } cases[] = {
        {0, 0x21, L"a.txt", 0x21},
        {10, 0x22, L"a.txt", 0x22},
        {6, 0x00, L"d\\", 0x10},
        {3, 0100644u << 16, L"a.txt", 0x20},
        {3, 0100444u << 16, L"a.txt", 0x21},
        {3, 0100755u << 16, L"a.txt", 0x00},
        {3, 0100200u << 16, L"a.txt", 0x22},
        {3, 040755u << 16, L"d\\", 0x10},
        {3, 040555u << 16, L"d", 0x11},
        {3, 0x0000FFFF, L"d/", 0x10},
        {7, 0xFF, L"a", 0x11},
        {11, 0x21, L"a.txt", 0x20},
        {11, 0x21, L"d/", 0x10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CZipFileHeader::ConvertAttributes(c.system, c.external, c.name), c.attributes)
            << int(c.system) << " " << std::hex << c.external;
}

TEST(CZipStorage, SplitVolumesAreNamedAfterTheArchive) {
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p\\pkg.zip", 0, 2, L"zip"), L"C:\\p\\pkg.z01");
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p\\pkg.zip", 1, 2, L"zip"), L"C:\\p\\pkg.z02");
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p\\pkg.zip", 2, 2, L"zip"), L"C:\\p\\pkg.zip");
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p\\pkg.zip", 98, 200, L"zip"), L"C:\\p\\pkg.z99");
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p\\pkg.zip", 99, 200, L"zip"), L"C:\\p\\pkg.z100");
    EXPECT_EQ(CZipStorage::SplitVolumeName(L"C:\\p.d\\pkg", 0, 1, L""), L"C:\\p.d\\pkg.z01");
}

TEST(CZipExtraField, BlocksMustFillTheFieldExactly) {
    CZipExtraField field(0x5A4C);
    const uint8_t two[] = {0x4C, 0x5A, 2, 0, 'a', 'b', 0x01, 0x00, 0, 0};
    ASSERT_TRUE(field.Parse(two, sizeof two));
    ASSERT_NE(field.Lookup(0x5A4C), nullptr);
    EXPECT_EQ(field.Lookup(0x5A4C)->data.GetSize(), 2u);
    for (uint16_t stray = 1; stray <= 3; ++stray)
        EXPECT_FALSE(field.Parse(two, static_cast<uint16_t>(6 + stray))) << stray;
    const uint8_t overrun[] = {1, 0, 5, 0, 'a', 'b', 'c', 'd'};
    EXPECT_FALSE(field.Parse(overrun, sizeof overrun));
}

// A field of thousands of empty blocks keeps only the one block it is made for.
TEST(CZipExtraField, OnlyTheFirstBlockOfItsIdIsKept) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 16000; ++i) bytes.insert(bytes.end(), {0x01, 0x00, 0, 0});
    for (uint8_t letter : {'a', 'b'}) bytes.insert(bytes.end(), {0x4C, 0x5A, 1, 0, letter});
    for (int i = 0; i < 300; ++i) bytes.insert(bytes.end(), {0x4C, 0x5A, 0, 0});
    CZipExtraField field(0x5A4C);
    ASSERT_TRUE(field.Parse(bytes.data(), static_cast<uint16_t>(bytes.size())));
    ASSERT_EQ(field.GetCount(), 1u);
    EXPECT_EQ(field[0].data.Data()[0], 'a');
    CZipExtraField unkept;
    ASSERT_TRUE(unkept.Parse(bytes.data(), static_cast<uint16_t>(bytes.size())));
    EXPECT_EQ(unkept.GetCount(), 0u);
    EXPECT_EQ(unkept.Lookup(0x0001), nullptr);
}

TEST(CZipFileHeader, NameEncodingBlockRules) {
    const auto apply = [](std::vector<uint8_t> bytes, CZipFileHeader& header) {
        CZipAutoBuffer block(static_cast<uint32_t>(bytes.size()));
        if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), block.Data());
        return header.ReadNameEncoding(block);
    };
    CZipFileHeader named;
    ASSERT_TRUE(apply({1, 3, 0xE9, 0xFD, 0, 0, 'a', '/', 'b'}, named));
    EXPECT_EQ(named.GetName(), L"a/b");
    EXPECT_EQ(named.stringSettings.nameCodePage, 65001u);
    EXPECT_TRUE(named.stringSettings.nameInExtra);

    CZipFileHeader comment;
    ASSERT_TRUE(apply({1, 5, 0xE4, 0x04, 0, 0, 0xB5, 0x01, 0, 0}, comment));
    EXPECT_EQ(comment.stringSettings.nameCodePage, 1252u);
    EXPECT_EQ(comment.stringSettings.commentCodePage, 437u);

    CZipFileHeader ignored;
    EXPECT_TRUE(apply({2, 3}, ignored));

    CZipFileHeader bad;
    EXPECT_FALSE(apply({}, bad));
    EXPECT_FALSE(apply({1}, bad));
    EXPECT_FALSE(apply({0x80}, bad));
    EXPECT_FALSE(apply({1, 1, 0xE9, 0xFD}, bad));
    EXPECT_FALSE(apply({1, 3, 0xE9, 0xFD, 0, 0}, bad));
    EXPECT_FALSE(apply({1, 7, 0xE9, 0xFD, 0, 0, 'a', 0xB5}, bad));
}

// The end-record search over memory: the signature at a chosen distance from the end.
uint64_t FindIn(const std::vector<uint8_t>& bytes, uint64_t depth) {
    CZipMemFile file(bytes.data(), bytes.size());
    CZipStorage storage;
    storage.Open(file, 1);
    file.SeekToEnd();
    const uint8_t signature[4] = {'P', 'K', 5, 6};
    return storage.FindSignatureBackward(signature, depth);
}

TEST(CZipStorage, SignatureSearchFindsTheLastOccurrenceAcrossChunks) {
    for (size_t at : {size_t(0), size_t(100), size_t(70000 - 32770), size_t(70000 - 32768 - 1),
                      size_t(70000 - 4)}) {
        std::vector<uint8_t> bytes(70000, 'x');
        std::copy_n("PK\x05\x06", 4, bytes.begin() + static_cast<long>(at));
        EXPECT_EQ(FindIn(bytes, 65557), at < 70000 - 65557 ? CZipStorage::signatureNotFound : at)
            << at;
    }
    std::vector<uint8_t> twice(1000, 'P');
    std::copy_n("PK\x05\x06", 4, twice.begin() + 10);
    std::copy_n("PPK\x05\x06", 5, twice.begin() + 500);
    EXPECT_EQ(FindIn(twice, 65557), 501u);
    EXPECT_EQ(FindIn({}, 65557), CZipStorage::signatureNotFound);
}

TEST(CZipFileHeader, DosTimesAreLocalTimesNormalisedLikeTheRunTime) {
    std::tm expected{};
    expected.tm_year = 80, expected.tm_mon = 0, expected.tm_mday = 1, expected.tm_isdst = -1;
    EXPECT_EQ(CZipFileHeader::DosTimeToCalendar((0 << 9) | (1 << 5) | 1, 0),
              FileSystem::MakeLocalTime(expected));
    // Day 0 of month -1 of 1980 is 30 November 1979.
    std::tm november{};
    november.tm_year = 79, november.tm_mon = 10, november.tm_mday = 30, november.tm_isdst = -1;
    EXPECT_EQ(CZipFileHeader::DosTimeToCalendar(0, 0), FileSystem::MakeLocalTime(november));
    EXPECT_NE(FileSystem::MakeLocalTime(november), -1);
    std::tm early{};
    early.tm_year = 60, early.tm_mday = 1, early.tm_isdst = -1;
    EXPECT_EQ(FileSystem::MakeLocalTime(early), -1);
}

}  // namespace
