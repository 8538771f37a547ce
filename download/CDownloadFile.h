#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The file a download writes into: open for writing, readable by others, never shared for
// writing. Every operation returns the system error code, 0 on success.
class CDownloadFile {
public:
    CDownloadFile() = default;
    CDownloadFile(const CDownloadFile&) = delete;
    CDownloadFile& operator=(const CDownloadFile&) = delete;
    ~CDownloadFile() { Close(); }

    // Creates the file when missing; keepContents FALSE truncates an existing one.
    DWORD Open(const std::wstring& path, bool keepContents);
    // Moves to offset and makes the file exactly that long.
    DWORD SetLength(uint64_t offset);
    DWORD Write(const BYTE* data, DWORD length);
    DWORD Close();

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};
