#pragma once

#include <cstdint>
#include <string>

// The file the archive is read from: a file on disk or a block of memory.
class CZipAbstractFile {
public:
    enum { begin = 0, current = 1, end = 2 };

    virtual bool Open(const std::wstring& path, unsigned flags, bool throwOnError) = 0;
    virtual void Close() = 0;
    virtual void Flush() = 0;
    virtual uint64_t GetPosition() const = 0;
    virtual uint64_t Seek(int64_t offset, int origin) = 0;
    virtual uint64_t GetLength() const = 0;
    virtual void SetLength(uint64_t length) = 0;
    virtual uint64_t SeekToBegin() { return Seek(0, begin); }
    virtual uint64_t SeekToEnd() { return Seek(0, end); }
    virtual std::wstring GetFilePath() const = 0;
    // Count of bytes read; less than count only at the end.
    virtual unsigned Read(void* buffer, unsigned count) = 0;
    virtual void Write(const void* buffer, unsigned count) = 0;
    virtual bool IsClosed() const = 0;
    virtual ~CZipAbstractFile() = default;
};
