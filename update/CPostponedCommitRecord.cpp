#include "update/CPostponedCommitRecord.h"

#include <windows.h>

#include <string>

#include "framework/win32/UniqueHandle.h"
#include "update/PostponedCommits.h"

namespace {

constexpr DWORD kLargestRecord = 64;
constexpr int64_t kFileTimeDay = 864000000000;

int64_t LocalDay() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / kFileTimeDay);
}

std::wstring ReadText(const std::wstring& path) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::wstring();
    char bytes[kLargestRecord] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, kLargestRecord, &read, nullptr)) return std::wstring();
    return std::wstring(bytes, bytes + read);
}

void WriteText(const std::wstring& path, const std::wstring& text) {
    const std::string bytes(text.begin(), text.end());
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

bool CPostponedCommitRecord::CountLaunch() const {
    const auto outcome =
        PostponedCommitRule::Postponed(PostponedCommitRule::Parse(ReadText(path)), LocalDay());
    WriteText(path, PostponedCommitRule::Format(outcome.record));
    return outcome.tellUser;
}

void CPostponedCommitRecord::Clear() const { DeleteFileW(path.c_str()); }
