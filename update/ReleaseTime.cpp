#include "update/ReleaseTime.h"

#include "framework/win32/UniqueHandle.h"

namespace {

ULONGLONG AsNumber(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

ULONGLONG LocalMinuteToFileTime(const ManifestDate& minute) {
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(minute.year);
    local.wMonth = static_cast<WORD>(minute.month);
    local.wDay = static_cast<WORD>(minute.day);
    local.wHour = static_cast<WORD>(minute.hour);
    local.wMinute = static_cast<WORD>(minute.minute);
    // Fields outside the WORD range would wrap into a different, valid-looking time.
    if (local.wYear != minute.year || local.wMonth != minute.month || local.wDay != minute.day ||
        local.wHour != minute.hour || local.wMinute != minute.minute)
        return kEarliestFileTime;

    // The zone's offset on that date, not today's: extraction stamps a file the same way, so a
    // file from a summer package stays current when it is checked in winter.
    SYSTEMTIME utcFields;
    FILETIME utcTime;
    FILETIME unused;
    if (!SystemTimeToFileTime(&local, &unused) ||
        !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utcFields) ||
        !SystemTimeToFileTime(&utcFields, &utcTime))
        return kEarliestFileTime;
    // East of UTC the first hours of 1601 fall before the start of file time; the conversion then
    // wraps into the far future instead of failing.
    const ULONGLONG utc = AsNumber(utcTime);
    return static_cast<LONGLONG>(utc) < 0 ? kEarliestFileTime : utc;
}

ULONGLONG ReleaseTimeOf(std::wstring_view modifyDate) {
    return LocalMinuteToFileTime(ParseManifestDate(modifyDate));
}

std::optional<ManifestDate> GetFileWriteMinute(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    // With the offset on the file's date, as the release time is formed.
    if (!path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return std::nullopt;
    return ManifestDate{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

bool StampReleaseTime(const std::wstring& path, std::wstring_view modifyDate) {
    const ULONGLONG release = ReleaseTimeOf(modifyDate);
    if (release == kEarliestFileTime) return false;
    const UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(release);
    written.dwHighDateTime = static_cast<DWORD>(release >> 32);
    return SetFileTime(file.get(), nullptr, nullptr, &written) != FALSE;
}
