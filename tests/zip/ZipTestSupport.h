#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "zip/CZipArchive.h"

namespace ZipTest {

// Results of ErrorOf besides a CZipException's cause.
constexpr int noError = 0;
constexpr int fileError = -2;

std::wstring Fixture(const std::wstring& name);
std::string ReadAll(const std::filesystem::path& path);
// Seconds since 1970 (UTC) of the file's last modification; -1 when it cannot be read.
int64_t ModificationTime(const std::filesystem::path& path);
// The text every tool-made fixture carries, and the one of the byte-level fixtures.
const std::string& Payload();
std::string PackageText();

// Runs f; the cause of the CZipException* it throws, fileError for a CFileException*,
// noError when it throws nothing. The exception is deleted.
template <class F>
int ErrorOf(F&& f);

// A fresh, empty folder for one test below the build tree, removed at the end (read-only
// files included).
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    const std::filesystem::path& Path() const { return path; }
    std::wstring Text() const { return path.wstring(); }
    // Every file and folder below as relative UTF-8 paths with "/" (folders end in one),
    // sorted, each followed by a space.
    std::string Listing() const;

private:
    std::filesystem::path path;
};

// Opens the fixture and extracts entry 0 into folder as the component does.
struct Extraction {
    bool result = false;
    int error = noError;
};
Extraction ExtractFirst(const std::wstring& fixture, const std::wstring& folder);

}  // namespace ZipTest

#include "ZipTestSupport.inl"
