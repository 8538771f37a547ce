#include "update/CRunLock.h"

#include "framework/win32/DebugOutput.h"

bool CRunLock::Acquire(const std::wstring& path, DWORD timeoutMs, const std::atomic<bool>& cancel) {
    if (Held()) return true;
    const DWORD start = GetTickCount();
    bool waited = false;
    for (;;) {
        handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (Held()) break;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
            DebugOutput::DebugFormat(L"CRunLock::Acquire, cannot open the run lock, Error:%u\n",
                                     static_cast<unsigned>(error));
            return false;
        }
        if (!waited) DebugOutput::DebugLine(L"CRunLock::Acquire, waiting for another update run\n");
        waited = true;
        if (cancel || GetTickCount() - start >= timeoutMs) {
            DebugOutput::DebugLine(L"CRunLock::Acquire, gave up waiting for the other run\n");
            return false;
        }
        Sleep(kPollMs);
    }
    if (waited)
        DebugOutput::DebugFormat(L"CRunLock::Acquire, waited %u ms for another update run\n",
                                 static_cast<unsigned>(GetTickCount() - start));
    return true;
}

void CRunLock::Release() {
    if (!Held()) return;
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}
