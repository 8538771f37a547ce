#pragma once

#include <string>
#include <vector>

#include "framework/CFile.h"
#include "zip/CZipBackgroundWriter.h"

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

    // Writes the first count bytes of chunk in the background; chunk gets back a buffer of the
    // same size to fill meanwhile.
    void Write(std::vector<uint8_t>& chunk, unsigned count) { writer.Write(chunk, count); }
    // Waits for the writes (raising a failure) and closes the file.
    void Close();
    const std::wstring& TemporaryPath() const { return temporaryPath; }
    // Moves the closed temporary file over the target, also a read-only one.
    bool Commit();

private:
    std::wstring target;
    std::wstring temporaryPath;
    CFile file;
    bool committed = false;
    CZipBackgroundWriter writer{file};
};
