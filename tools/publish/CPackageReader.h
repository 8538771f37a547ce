#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "zip/CZipArchive.h"

// A package read with the component's own ZIP reader, so that what the publisher checks is
// what the clients will read. Reader failures become CPublishError naming the package.
class CPackageReader {
public:
    explicit CPackageReader(const std::filesystem::path& package);
    ~CPackageReader();
    CPackageReader(const CPackageReader&) = delete;
    CPackageReader& operator=(const CPackageReader&) = delete;

    // The entry the clients install (entry 0); throws when the package has none.
    const CZipFileHeader& First();
    // Its name as stored ("/" as separator); ask before extracting, which drops it.
    std::string FirstName() { return Name(0); }
    // The stored name of the entry at index; throws when there is none.
    std::string Name(uint16_t index);

    // Whether entry 0 holds exactly the bytes of file.
    bool FirstEquals(const std::filesystem::path& file);
    // Entry 0's bytes, refused when longer than limit.
    std::string ReadFirst(uint32_t limit) { return ReadEntry(0, limit); }
    // The bytes of the entry at index, refused when longer than limit or missing.
    std::string ReadEntry(uint16_t index, uint32_t limit);
    uint16_t Count() const { return archive.GetCount(); }
    // Writes entry 0 below folder as the clients do; throws unless the reader reports success.
    void ExtractFirst(const std::filesystem::path& folder);

    const std::filesystem::path& Path() const { return package; }

private:
    template <class F>
    auto Guarded(F&& f);
    [[noreturn]] void Fail(const std::string& why) const;

    std::filesystem::path package;
    CZipArchive archive;
};
