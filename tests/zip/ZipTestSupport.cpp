#include "ZipTestSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/FileSystem.h"

namespace fs = std::filesystem;

namespace ZipTest {

std::wstring Fixture(const std::wstring& name) {
    return (fs::path(PELKO_ZIP_FIXTURES) / name).wstring();
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// Names outside ASCII must survive the conversions of std::filesystem on POSIX.
void MakeWritable(const fs::path& root) {
    std::error_code error;
    if (!fs::exists(root, error)) return;
    for (const auto& item : fs::recursive_directory_iterator(root, error)) {
#ifdef _WIN32
        FileSystem::SetAttributes(item.path().wstring(), FileSystem::attributeNormal);
#else
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add, error);
#endif
    }
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& name)
    : path(fs::path(PELKO_ZIP_FIXTURES).parent_path() / "zipscratch" / name) {
    MakeWritable(path);
    fs::remove_all(path);
    fs::create_directories(path);
}

ScratchFolder::~ScratchFolder() {
    MakeWritable(path);
    std::error_code error;
    fs::remove_all(path, error);
}

std::string ScratchFolder::Listing() const {
    std::vector<std::string> items;
    for (const auto& item : fs::recursive_directory_iterator(path)) {
        // UTF-8 on every platform, without a trip through the locale.
        std::u8string name = fs::relative(item.path(), path).generic_u8string();
        items.emplace_back(name.begin(), name.end());
        if (item.is_directory()) items.back() += "/";
    }
    std::sort(items.begin(), items.end());
    std::string listing;
    for (const auto& item : items) listing += item + " ";
    return listing;
}

int64_t ModificationTime(const fs::path& path) {
#ifdef _WIN32
    struct _stat64 info;
    return _wstat64(path.wstring().c_str(), &info) == 0 ? info.st_mtime : -1;
#else
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
#endif
}

const std::string& Payload() {
    static const std::string payload = ReadAll(Fixture(L"payload.bin"));
    return payload;
}

std::string PackageText() {
    std::string text;
    for (int i = 0; i < 64; ++i) text += "hello, package\r\n";
    return text;
}

Extraction ExtractFirst(const std::wstring& fixture, const std::wstring& folder) {
    Extraction extraction;
    CZipArchive archive;
    extraction.error = ErrorOf([&] {
        archive.OpenArchive(Fixture(fixture), 0, 0);
        extraction.result = archive.ExtractEntry(0, folder.c_str(), true, nullptr, 65536);
        if (extraction.result) archive.CloseArchive(0, false);
    });
    return extraction;
}

}  // namespace ZipTest
