#pragma once

#include "framework/CFile.h"
#include "zip/CZipAbstractFile.h"

// An archive file on disk, over the framework's file class (same open flags, same
// CFileException* on failure). Closing closes the handle only if it is open.
class CZipFile : public CZipAbstractFile {
public:
    bool Open(const std::wstring& path, unsigned flags, bool throwOnError) override {
        return file.Open(path, flags, throwOnError);
    }
    void Close() override { file.Close(); }
    void Flush() override { file.Flush(); }
    uint64_t GetPosition() const override { return file.GetPosition(); }
    uint64_t Seek(int64_t offset, int origin) override { return file.Seek(offset, origin); }
    uint64_t GetLength() const override { return file.GetLength(); }
    void SetLength(uint64_t length) override { file.SetLength(length); }
    std::wstring GetFilePath() const override { return file.GetFilePath(); }
    unsigned Read(void* buffer, unsigned count) override { return file.Read(buffer, count); }
    void Write(const void* buffer, unsigned count) override { file.Write(buffer, count); }
    bool IsClosed() const override { return !file.IsOpen(); }

private:
    CFile file;
};
