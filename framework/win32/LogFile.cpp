#include "framework/win32/LogFile.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "framework/LogLine.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/UserFolders.h"

namespace LogFile {

namespace {

constexpr wchar_t kSubFolder[] = L"\\Pelko";
constexpr wchar_t kLogFolder[] = L"\\Pelko\\Logs";
constexpr wchar_t kFileName[] = L"\\PelkoWebLoader.log";
constexpr wchar_t kOldSuffix[] = L".1";
// One name for every process of the session: one writer at a time appends or turns the file over.
constexpr wchar_t kLogMutex[] = L"Local\\PelkoWebLoader.Log";
// Logging never waits long: past this the line is written without the lock (appends with
// FILE_APPEND_DATA are whole on Windows; Wine's are not, hence the lock). Once a wait has timed
// out, lines only try the lock until they get it again: a writer stopped while holding it (in a
// debugger) must not cost every line the whole wait.
constexpr DWORD kLockWaitMs = 200;
std::atomic<bool> g_lockStuck{false};

class MutexLock {
public:
    explicit MutexLock(HANDLE mutex) : m_mutex(mutex) {
        const DWORD wait =
            mutex ? WaitForSingleObject(mutex, g_lockStuck ? 0 : kLockWaitMs) : WAIT_FAILED;
        // An owner that ended while holding it wrote whole lines or nothing.
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        g_lockStuck = wait == WAIT_TIMEOUT;
    }
    ~MutexLock() {
        if (m_held) ReleaseMutex(m_mutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    HANDLE m_mutex;
    bool m_held = false;
};

// Writes only, at the end of the file whatever others appended; others may rename it meanwhile.
UniqueHandle OpenForAppend(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

UniqueHandle OpenCreatingFolders(const std::wstring& base) {
    const std::wstring path = base + kLogFolder + kFileName;
    UniqueHandle file = OpenForAppend(path);
    if (file.get() != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PATH_NOT_FOUND) return file;
    // Only the two folders of the log: the user's own folder is not ours to make.
    CreateDirectoryW((base + kSubFolder).c_str(), nullptr);
    CreateDirectoryW((base + kLogFolder).c_str(), nullptr);
    return OpenForAppend(path);
}

std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// Made once per process, closed when the module goes.
HANDLE LogMutex() {
    static const UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kLogMutex));
    return mutex.get();
}

std::string Utf8(const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string LineFor(const std::wstring& text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const LogLine::Stamp stamp{
        now.wYear,           now.wMonth,  now.wDay,          now.wHour,
        now.wMinute,         now.wSecond, now.wMilliseconds, GetCurrentProcessId(),
        GetCurrentThreadId()};
    return Utf8(LogLine::Format(stamp, LogLine::WithoutUrlSecrets(text)));
}

// The log this process appends to, kept open between lines: under Wine, opening and closing
// the file for every line cost more than the rest of a package's request. It is opened again
// for a line that would pass the bound (so a file another process has turned over, which is
// full, is never written on: the turnover is judged on the file at the path), when the user's
// folder changed, and once it has been open a second (so a log the user removed or renamed is
// made again soon). A log that cannot be opened is tried again after a second too, so that it
// does not cost every line. Touched only under g_openLogLock.
class OpenLog {
public:
    // A log of this folder could not be opened a moment ago: not tried again yet.
    bool FailedLately(const std::wstring& base) const {
        return m_openFailed && IsFresh(base, GetTickCount64());
    }

    HANDLE ReadyFor(const std::wstring& base, size_t lineBytes) {
        const ULONGLONG now = GetTickCount64();
        if (m_file &&
            (!IsFresh(base, now) || LogLine::ShouldRotate(SizeOf(m_file.get()), lineBytes)))
            m_file.reset();
        if (!m_file) Open(base, lineBytes, now);
        m_openFailed = !m_file;
        return m_file.get();
    }

private:
    static constexpr ULONGLONG kReopenMs = 1000;

    bool IsFresh(const std::wstring& base, ULONGLONG now) const {
        return base == m_base && now - m_openedAt <= kReopenMs;
    }

    void Open(const std::wstring& base, size_t lineBytes, ULONGLONG now) {
        m_base = base;
        m_openedAt = now;
        m_file = Usable(OpenCreatingFolders(base));
        if (!m_file || !LogLine::ShouldRotate(SizeOf(m_file.get()), lineBytes)) return;
        m_file.reset();
        // A reader that holds the file without sharing its deletion keeps it growing instead.
        const std::wstring path = base + kLogFolder + kFileName;
        MoveFileExW(path.c_str(), (path + kOldSuffix).c_str(), MOVEFILE_REPLACE_EXISTING);
        m_file = Usable(OpenForAppend(path));
    }

    static UniqueHandle Usable(UniqueHandle file) {
        return file.get() == INVALID_HANDLE_VALUE ? UniqueHandle() : std::move(file);
    }

    UniqueHandle m_file;
    std::wstring m_base;
    ULONGLONG m_openedAt = 0;
    bool m_openFailed = false;
};

std::mutex g_openLogLock;
OpenLog g_openLog;

void AppendLine(const std::wstring& text) {
    const std::wstring base = UserFolders::LocalAppData();
    if (base.empty()) return;
    const std::string line = LineFor(text);
    // The threads of this process share one handle, also when the session lock is not had.
    const std::lock_guard<std::mutex> local(g_openLogLock);
    if (g_openLog.FailedLately(base)) return;
    const MutexLock lock(LogMutex());
    const HANDLE file = g_openLog.ReadyFor(base, line.size());
    if (!file) return;
    // One write per line.
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void Append(const std::wstring& text) noexcept {
    try {
        AppendLine(text);
    } catch (...) {
        // Out of memory for a log line: the run goes on without it.
    }
}

std::wstring Path() {
    const std::wstring base = UserFolders::LocalAppData();
    return base.empty() ? std::wstring() : base + kLogFolder + kFileName;
}

}  // namespace LogFile
