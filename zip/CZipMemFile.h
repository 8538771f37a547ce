#pragma once

#include <vector>

#include "zip/CZipAbstractFile.h"

// An archive held in memory. Seeking past the end is allowed (reads there give 0 bytes);
// seeking before the start throws CFileException*.
class CZipMemFile : public CZipAbstractFile {
public:
    CZipMemFile() = default;
    CZipMemFile(const void* bytes, size_t size);

    bool Open(const std::wstring& path, unsigned flags, bool throwOnError) override;
    void Close() override { closed = true; }
    void Flush() override {}
    uint64_t GetPosition() const override { return position; }
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() const override { return data.size(); }
    void SetLength(uint64_t length) override;
    std::wstring GetFilePath() const override { return std::wstring(); }
    unsigned Read(void* buffer, unsigned count) override;
    void Write(const void* buffer, unsigned count) override;
    bool IsClosed() const override { return closed; }

private:
    std::vector<uint8_t> data;
    uint64_t position = 0;
    bool closed = false;
};
