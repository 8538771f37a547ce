#include "framework/win32/DebugOutput.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <mutex>
#include <new>

#include "framework/win32/LogFile.h"

namespace DebugOutput {

namespace {

std::mutex g_lock;
Observer g_observer;

}  // namespace

void DebugLine(const std::wstring& line) {
    // Callers read the last error after their line; the log's own calls must not change it.
    const DWORD lastError = GetLastError();
    OutputDebugStringW(line.c_str());
    LogFile::Append(line);
    SetLastError(lastError);
    Observer observer;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        observer = g_observer;
    }
    if (observer) observer(line);
}

void DebugFormat(const wchar_t* format, ...) {
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    const int written = _vsnwprintf(buffer, sizeof(buffer) / sizeof(buffer[0]) - 1, format, args);
    va_end(args);
    // A line too long for the buffer is cut, never left unterminated.
    buffer[written < 0 ? sizeof(buffer) / sizeof(buffer[0]) - 1 : written] = L'\0';
    try {
        DebugLine(buffer);
    } catch (const std::bad_alloc&) {
        // A diagnostic line is never worth failing the run: without memory it is lost.
    }
}

void SetObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_observer = std::move(observer);
}

}  // namespace DebugOutput
