// The verified extraction of one package into one file: what it refuses, and that a refusal
// leaves no file behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "support/common/TestFolder.h"
#include "support/updatetree/CUpdateTree.h"
#include "support/updatetree/StoredZip.h"
#include "verify/CSha256.h"
#include "verify/VerifiedExtraction.h"

namespace {

using updatetree::ZipEntry;

const std::string kData = "the signed bytes";
const SYSTEMTIME kTime = updatetree::LocalTime(2024, 3, 1, 10, 7, 4);

std::string Bytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ExpectedEntry Expected() {
    return {L"A.dll", kData.size(), CSha256::Of(kData.data(), kData.size())};
}

TEST(VerifiedExtractionTest, WritesExactlyTheDestinationWithTheEntrysTime) {
    testsupport::TestFolder folder;
    const std::wstring package = folder / L"A.dll.zip";
    const std::wstring destination = folder / L"staged.tmp";
    ASSERT_TRUE(updatetree::WriteStoredZip(package, {{"A.dll", kData, kTime}}));
    EXPECT_FALSE(ExtractVerified(package, destination, Expected()));
    EXPECT_EQ(Bytes(destination), kData);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder / L"A.dll")));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    SYSTEMTIME written{};
    ASSERT_TRUE(GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &data));
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &written);
    EXPECT_EQ(written.wMonth, 3);
    EXPECT_EQ(written.wHour, 10);
    EXPECT_EQ(written.wMinute, 7);
}

struct Refusal {
    const char* what;
    std::function<std::vector<ZipEntry>()> entries;  // none: no package at all
    std::function<void(ExpectedEntry&)> expect;
    const wchar_t* reason;
};

class RefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusalTest, DeletesTheDestinationAndSaysWhy) {
    const Refusal& refusal = GetParam();
    testsupport::TestFolder folder;
    const std::wstring package = folder / L"A.dll.zip";
    const std::wstring destination = folder / L"staged.tmp";
    if (refusal.entries) {
        ASSERT_TRUE(updatetree::WriteStoredZip(package, refusal.entries()));
    }
    std::ofstream(std::filesystem::path(destination)) << "left from before";
    ExpectedEntry expected = Expected();
    if (refusal.expect) refusal.expect(expected);

    const auto why = ExtractVerified(package, destination, expected);
    ASSERT_TRUE(why) << refusal.what;
    EXPECT_NE(why->find(refusal.reason), std::wstring::npos) << refusal.what;
    EXPECT_EQ(why->find_first_of(L"\r\n"), std::wstring::npos) << "one line: " << refusal.what;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(destination))) << refusal.what;
}

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.what; }

std::vector<ZipEntry> One(const std::string& name, const std::string& data) {
    return {{name, data, kTime}};
}

INSTANTIATE_TEST_SUITE_P(
    Packages, RefusalTest,
    ::testing::Values(
        Refusal{"no package", nullptr, nullptr, L"cannot be opened"},
        Refusal{"other entry name", [] { return One("PelkoDeskLoader.exe", kData); }, nullptr,
                L"is named \"PelkoDeskLoader.exe\""},
        Refusal{"name holding a line end", [] { return One("A.dll\r\nforged", kData); }, nullptr,
                L"is named \"A.dll??forged\""},
        Refusal{"name with a folder", [] { return One("bin/A.dll", kData); }, nullptr, L"is named"},
        Refusal{"two entries",
                [] {
                    return std::vector<ZipEntry>{{"A.dll", kData, kTime}, {"B.dll", "b", kTime}};
                },
                nullptr, L"holds 2 entries"},
        Refusal{"no entry", [] { return std::vector<ZipEntry>{}; }, nullptr, L"holds 0 entries"},
        Refusal{"longer than signed", [] { return One("A.dll", kData + "!"); }, nullptr,
                L"were signed"},
        Refusal{"shorter than signed", [] { return One("A.dll", kData.substr(1)); }, nullptr,
                L"were signed"},
        Refusal{"same size, other bytes",
                [] { return One("A.dll", std::string(kData.size(), 'x')); }, nullptr,
                L"SHA-256 differs"},
        Refusal{"size the manifest gives differs", [] { return One("A.dll", kData); },
                [](ExpectedEntry& e) { e.size += 1; }, L"were signed"},
        Refusal{"a folder entry", [] { return One("A.dll/", ""); },
                [](ExpectedEntry& e) { e.name = L"A.dll\\"; }, L"folder"}),
    [](const ::testing::TestParamInfo<Refusal>& info) {
        std::string name;
        for (const char* c = info.param.what; *c; ++c) name += isalnum(*c) ? *c : '_';
        return name;
    });

TEST(VerifiedExtractionTest, ManifestKeysBecomeTheExpectedEntryOnlyWhenWellFormed) {
    const std::wstring digest(64, L'a');
    EXPECT_TRUE(ExpectedFromManifest(L"A.dll", 0, digest));
    EXPECT_FALSE(ExpectedFromManifest(L"A.dll", -1, digest));
    EXPECT_FALSE(ExpectedFromManifest(L"A.dll", 5, L""));
    EXPECT_FALSE(ExpectedFromManifest(L"A.dll", 5, digest.substr(1)));
    EXPECT_FALSE(ExpectedFromManifest(L"A.dll", 5, std::wstring(64, L'\x0661')));
}

}  // namespace
