#pragma once

#include <cstdint>
#include <string>

#include "framework/CFile.h"

// The file an entry is written to: a new temporary file in the target's folder, which takes
// the target's place only through Commit. Until then the target stays as it was, and the
// temporary file is removed when this object ends.
class CZipTargetFile {
public:
    // Creates the temporary file; throws CFileException* when it cannot.
    explicit CZipTargetFile(std::wstring target);
    CZipTargetFile(const CZipTargetFile&) = delete;
    CZipTargetFile& operator=(const CZipTargetFile&) = delete;
    ~CZipTargetFile();

    void Write(const void* buffer, unsigned count) { file.Write(buffer, count); }
    void Close() { file.Close(); }
    const std::wstring& TemporaryPath() const { return temporaryPath; }
    // Moves the closed temporary file over the target, also a read-only, hidden or system one.
    bool Commit();

    // A temporary name of at most length characters (at least 1) drawn from number: "~" and
    // base-36 digits, at most 8 characters in all; a lone digit when length is 1. The "~"
    // keeps it clear of device names such as "con".
    static std::wstring TemporaryName(uint64_t number, size_t length);

private:
    std::wstring target;
    std::wstring temporaryPath;
    CFile file;
    bool committed = false;
};
