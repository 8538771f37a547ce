#include "framework/win32/DebugOutput.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <mutex>

namespace DebugOutput {

namespace {

std::mutex g_lock;
Observer g_observer;

}  // namespace

void DebugLine(const std::wstring& line) {
    OutputDebugStringW(line.c_str());
    Observer observer;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        observer = g_observer;
    }
    if (observer)
        observer(line);
}

void DebugFormat(const wchar_t* format, ...) {
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    const int written = _vsnwprintf(buffer, sizeof(buffer) / sizeof(buffer[0]) - 1, format, args);
    va_end(args);
    // A line too long for the buffer is cut, never left unterminated.
    buffer[written < 0 ? sizeof(buffer) / sizeof(buffer[0]) - 1 : written] = L'\0';
    DebugLine(buffer);
}

void SetObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_observer = std::move(observer);
}

}  // namespace DebugOutput
