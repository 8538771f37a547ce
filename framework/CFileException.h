#pragma once

#include <cstdint>
#include <string>

#include "framework/CException.h"

// A failure of the file class: opening, creating, reading, writing or seeking a file. Carries
// the platform's error code; thrown by pointer like every CException.
class CFileException : public CException {
public:
    enum Cause { none = 0, generic = 1, badSeek = 2, endOfFile = 3 };

    CFileException(int cause, uint32_t osError, std::wstring fileName)
        : cause(cause), osError(osError), fileName(std::move(fileName)) {}

    [[noreturn]] static void ThrowOsError(uint32_t osError, const std::wstring& fileName);
    [[noreturn]] static void Throw(int cause, const std::wstring& fileName);

    bool GetErrorMessage(wchar_t* buffer, size_t size) const override;

    int cause;
    uint32_t osError;
    std::wstring fileName;
};
