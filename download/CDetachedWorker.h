#pragma once

#include <windows.h>

#include <functional>
#include <memory>

// A thread that may outlive whoever started it. It owns its job (and so whatever the job
// holds), and it holds a reference to the module its code lives in for its whole life, so a
// host may free the library while it still runs; the library unloads when the last such
// thread ends. Nobody has to wait for it: a stop closes what it blocks on and goes on.
class CDetachedWorker {
public:
    CDetachedWorker() = default;
    CDetachedWorker(const CDetachedWorker&) = delete;
    CDetachedWorker& operator=(const CDetachedWorker&) = delete;

    // Runs job on a new thread; false when none could start (the job is not run then).
    // Nothing the job throws leaves the thread.
    bool Start(std::function<void()> job);
    // True once the job has ended and released what it held. Waits at most ms, and returns
    // early (false) when wake is signalled.
    bool Wait(DWORD ms, HANDLE wake = nullptr) const;
    bool Started() const { return static_cast<bool>(shared); }

private:
    struct Shared;
    static DWORD WINAPI Entry(void* param);

    std::shared_ptr<Shared> shared;
};
