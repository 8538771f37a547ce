#pragma once

#include "support/bcl/system/sync/CSyncObject.h"

namespace bcl::system::process::thread {

// Base of every object that runs its work on a thread of its own: derive and supply Run.
// The destructor neither stops nor waits for the thread; the owner must see Run return first.
class CThread : public bcl::system::sync::CSyncObject {
public:
    CThread() = default;
    ~CThread() override = default;

    // Starts Run on a new thread. Throws CException while a previous thread's handle is held
    // (Close it first), CWin32Exception when the thread cannot be created.
    void Start();

    // The exit code of a thread whose Run ended by an exception (reported on the debug output).
    static constexpr unsigned kRunThrew = 0xFFFFFFFF;

    // Posts a thread message to the last started thread. Refused (FALSE, nothing posted)
    // before Start and after Close: the old thread id may belong to another thread by then.
    BOOL PostToThread(UINT message, WPARAM wParam, LPARAM lParam) const;

    DWORD ThreadId() const { return threadId; }
    HANDLE ThreadHandle() const { return handle; }

protected:
    // Runs on the new thread; the result becomes the thread's exit code.
    virtual unsigned Run() = 0;

private:
    static unsigned __stdcall ThreadEntry(void* object);

    DWORD threadId = 0;
};

}  // namespace bcl::system::process::thread
