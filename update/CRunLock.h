#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// One update run per install folder at a time, across processes, sessions and users: a lock
// file opened without sharing. The system closes the handle, and so frees the lock, when the
// holding process ends in any way. A file rather than a named mutex, because the run moves
// between threads (check, download, installation) and a mutex belongs to one thread.
class CRunLock {
public:
    static constexpr DWORD kPollMs = 100;

    CRunLock() = default;
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;
    ~CRunLock() { Release(); }

    // Opens the lock file, waiting while another run holds it, at most timeoutMs and only
    // while cancel is not set. True once this object holds the lock.
    bool Acquire(const std::wstring& path, DWORD timeoutMs, const std::atomic<bool>& cancel);
    void Release();
    // Takes over the lock another object holds.
    void TakeFrom(CRunLock& other) {
        Release();
        handle = other.handle;
        other.handle = INVALID_HANDLE_VALUE;
    }
    bool Held() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};
