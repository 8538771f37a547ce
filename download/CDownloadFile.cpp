#include "download/CDownloadFile.h"

DWORD CDownloadFile::Open(const std::wstring& path, bool keepContents) {
    Close();
    handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    keepContents ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

DWORD CDownloadFile::SetLength(uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle))
        return GetLastError();
    return 0;
}

DWORD CDownloadFile::Write(const BYTE* data, DWORD length) {
    DWORD written = 0;
    if (!WriteFile(handle, data, length, &written, nullptr)) return GetLastError();
    return written == length ? 0 : ERROR_WRITE_FAULT;
}

DWORD CDownloadFile::Close() {
    if (handle == INVALID_HANDLE_VALUE) return 0;
    const DWORD error = CloseHandle(handle) ? 0 : GetLastError();
    handle = INVALID_HANDLE_VALUE;
    return error;
}
