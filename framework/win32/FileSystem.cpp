#include "framework/FileSystem.h"

#include <sys/utime.h>
#include <time.h>
#include <windows.h>

#include "framework/win32/FolderSecurity.h"

namespace FileSystem {

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
    return SetFileAttributesW(path.c_str(), attributes) != 0;
}

uint32_t GetAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsExistingFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != 0;
}

bool SetFileTimes(const std::wstring& path, int64_t t) {
    if (t == -1) return _wutime64(path.c_str(), nullptr) == 0;
    __utimbuf64 times;
    times.actime = _time64(nullptr);
    times.modtime = t;
    return _wutime64(path.c_str(), &times) == 0;
}

int64_t MakeLocalTime(std::tm fields) { return _mktime64(&fields); }

std::wstring CreateTempFileIn(const std::wstring& folder) {
    wchar_t name[MAX_PATH];
    const std::wstring where = folder.empty() ? std::wstring(L".") : folder;
    if (GetTempFileNameW(where.c_str(), L"pkz", 0, name) == 0) return std::wstring();
    return name;
}

std::wstring CreateRecordTempFileIn(const std::wstring& folder) {
    return CreateRecordTempFileIn(folder, folder);
}

std::wstring CreateRecordTempFileIn(const std::wstring& folder, const std::wstring& listOf) {
    const FolderSecurity::RecordDescriptor descriptor = FolderSecurity::RecordDescriptorIn(listOf);
    if (!descriptor.Usable()) return std::wstring();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    const std::wstring where = folder.empty() ? std::wstring(L".") : folder;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[MAX_PATH];
        // A unique name from the platform, made again as a file with the record's list.
        if (GetTempFileNameW(where.c_str(), L"pkz", 0, name) == 0) return std::wstring();
        DeleteFileW(name);
        const HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return std::wstring();
    }
    return std::wstring();
}

bool CreateNewFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    // A read-only, hidden or system target may refuse to be replaced: clear it first, put it
    // back on failure.
    constexpr DWORD guarding =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD before = GetFileAttributesW(to.c_str());
    const bool cleared = before != INVALID_FILE_ATTRIBUTES && (before & guarding) &&
                         SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD error = GetLastError();
    if (cleared) SetFileAttributesW(to.c_str(), before);
    SetLastError(error);
    return false;
}

size_t PathLength(const std::wstring& path) { return path.size(); }

size_t LongestPath(const std::wstring& path, bool folder) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return 32767;
    // A folder must leave room for a file name of 8.3 characters and the NUL.
    return folder ? MAX_PATH - 13 : MAX_PATH - 1;
}

bool IsOnRemovableDrive(const std::wstring& path) {
    if (path.size() < 2 || path[1] != L':') return false;
    const std::wstring root = path.substr(0, 2) + L"\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE;
}

}  // namespace FileSystem
