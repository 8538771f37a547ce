#include "framework/CFile.h"

#include <windows.h>

#include "framework/CFileException.h"

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD ShareMode(unsigned flags) {
    if (flags & CFile::shareExclusive) return 0;
    if (flags & CFile::shareDenyWrite) return FILE_SHARE_READ;
    return FILE_SHARE_READ | FILE_SHARE_WRITE;
}

DWORD Access(unsigned flags) {
    switch (flags & 3) {
        case CFile::modeWrite:
            return GENERIC_WRITE;
        case CFile::modeReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return GENERIC_READ;
    }
}

DWORD Disposition(unsigned flags) {
    if (!(flags & CFile::modeCreate)) return OPEN_EXISTING;
    return (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

}  // namespace

CFile::~CFile() { Close(); }

bool CFile::Open(const std::wstring& filePath, unsigned flags, bool throwOnError) {
    Close();
    path = filePath;
    HANDLE h = CreateFileW(filePath.c_str(), Access(flags), ShareMode(flags), nullptr,
                           Disposition(flags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (throwOnError) ThrowLastError();
        return false;
    }
    handle = reinterpret_cast<intptr_t>(h);
    return true;
}

void CFile::Close() {
    if (IsOpen()) CloseHandle(AsHandle(handle));
    handle = invalidHandle;
}

uint64_t CFile::Seek(int64_t offset, int origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    const DWORD method = origin == end ? FILE_END : origin == current ? FILE_CURRENT : FILE_BEGIN;
    if (!SetFilePointerEx(AsHandle(handle), distance, &position, method)) ThrowLastError();
    return static_cast<uint64_t>(position.QuadPart);
}

uint64_t CFile::GetPosition() const {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position;
    if (!SetFilePointerEx(AsHandle(handle), zero, &position, FILE_CURRENT)) ThrowLastError();
    return static_cast<uint64_t>(position.QuadPart);
}

uint64_t CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(handle), &size)) ThrowLastError();
    return static_cast<uint64_t>(size.QuadPart);
}

void CFile::SetLength(uint64_t length) {
    const uint64_t position = GetPosition();
    Seek(static_cast<int64_t>(length), begin);
    if (!SetEndOfFile(AsHandle(handle))) ThrowLastError();
    Seek(static_cast<int64_t>(position), begin);
}

unsigned CFile::Read(void* buffer, unsigned count) {
    DWORD read = 0;
    if (count != 0 && !ReadFile(AsHandle(handle), buffer, count, &read, nullptr)) ThrowLastError();
    return read;
}

void CFile::Write(const void* buffer, unsigned count) {
    DWORD written = 0;
    if (count == 0) return;
    if (!WriteFile(AsHandle(handle), buffer, count, &written, nullptr)) ThrowLastError();
    if (written != count) CFileException::ThrowOsError(ERROR_DISK_FULL, path);
}

void CFile::Flush() {
    if (IsOpen() && !FlushFileBuffers(AsHandle(handle))) ThrowLastError();
}

void CFile::ThrowLastError() const { CFileException::ThrowOsError(GetLastError(), path); }
