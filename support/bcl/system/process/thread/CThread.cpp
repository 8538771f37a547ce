#include "support/bcl/system/process/thread/CThread.h"

#include <process.h>

#include "support/bcl/common/exception/CException.h"
#include "support/bcl/common/exception/CWin32Exception.h"
#include "support/bcl/common/exception/CaughtException.h"

namespace bcl::system::process::thread {

using bcl::common::exception::CException;
using bcl::common::exception::CWin32Exception;

void CThread::Start() {
    if (handle != INVALID_HANDLE_VALUE)
        throw CException(L"CThread::Start()", L"Thread always running");

    unsigned id = 0;
    const uintptr_t created = _beginthreadex(nullptr, 0, &CThread::ThreadEntry, this, 0, &id);
    if (created == 0) throw CWin32Exception(L"CThread::Start() - _beginthreadex", GetLastError());
    threadId = id;
    handle = reinterpret_cast<HANDLE>(created);
}

BOOL CThread::PostToThread(UINT message, WPARAM wParam, LPARAM lParam) const {
    // Only while the handle is held: it keeps the thread id from being given to another
    // thread. Thread id 0 is never a started thread; not every platform refuses a post to it.
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || threadId == 0) return FALSE;
    return PostThreadMessageW(threadId, message, wParam, lParam);
}

unsigned __stdcall CThread::ThreadEntry(void* object) {
    if (!object) return 0;
    // An exception leaving a thread would end the host process.
    try {
        return static_cast<CThread*>(object)->Run();
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"CThread::ThreadEntry");
        return kRunThrew;
    }
}

}  // namespace bcl::system::process::thread
