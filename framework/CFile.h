#pragma once

#include <cstdint>
#include <string>

// The least of a framework file class: one platform file handle, closed on destruction.
// Failures of Open (with throwOnError), Read, Write, Seek and SetLength throw CFileException*.
class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    ~CFile();

    // False (or a thrown CFileException) when the file cannot be opened.
    bool Open(const std::wstring& path, unsigned flags, bool throwOnError);
    void Close();
    bool IsOpen() const { return handle != invalidHandle; }

    uint64_t Seek(int64_t offset, int origin);
    uint64_t GetPosition() const;
    uint64_t GetLength() const;
    void SetLength(uint64_t length);
    // Count of bytes read; less than count only at the end of the file.
    unsigned Read(void* buffer, unsigned count);
    void Write(const void* buffer, unsigned count);
    void Flush();
    const std::wstring& GetFilePath() const { return path; }

private:
    static constexpr intptr_t invalidHandle = -1;
    [[noreturn]] void ThrowLastError() const;

    intptr_t handle = invalidHandle;
    std::wstring path;
};
