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

void Emit(const std::wstring& line, bool toLog) {
    // Callers read the last error after their line; the log's own calls must not change it.
    const DWORD lastError = GetLastError();
    OutputDebugStringW(line.c_str());
    if (toLog) LogFile::Append(line);
    SetLastError(lastError);
    Observer observer;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        observer = g_observer;
    }
    if (observer) observer(line);
}

void EmitFormatted(bool toLog, const wchar_t* format, va_list args) {
    wchar_t buffer[2048];
    const int written = _vsnwprintf(buffer, sizeof(buffer) / sizeof(buffer[0]) - 1, format, args);
    // A line too long for the buffer is cut, never left unterminated.
    buffer[written < 0 ? sizeof(buffer) / sizeof(buffer[0]) - 1 : written] = L'\0';
    try {
        Emit(buffer, toLog);
    } catch (const std::bad_alloc&) {
        // A diagnostic line is never worth failing the run: without memory it is lost.
    }
}

}  // namespace

void DebugLine(const std::wstring& line) { Emit(line, true); }

void DebugFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    EmitFormatted(true, format, args);
    va_end(args);
}

void ProgressLine(const std::wstring& line) { Emit(line, false); }

void ProgressFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    EmitFormatted(false, format, args);
    va_end(args);
}

void SetObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_observer = std::move(observer);
}

}  // namespace DebugOutput
