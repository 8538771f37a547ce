#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "support/bcl/system/process/thread/CThread.h"
#include "update/UpdateEvent.h"

// Hands UpdateEvents from the download threads to the event thread's message queue (thread
// message kEventMessage, the record's address as wParam) without losing or leaking any:
// - at most one progress record is in flight, and a new one goes out at most ten times a
//   second; later figures replace the figures in flight or held back, and figures equal to
//   the last ones are dropped; the last figures always go out before the final record;
// - an error, complete or stopped record is posted again while the queue is full;
// - a record that cannot be posted, or comes after the loop ended, is released at once;
//   records still queued when the loop ends are released by Close.
class CUpdateEventQueue {
public:
    static constexpr UINT kEventMessage = WM_USER + 1;

    explicit CUpdateEventQueue(const bcl::system::process::thread::CThread& eventThread)
        : eventThread(eventThread) {}
    CUpdateEventQueue(const CUpdateEventQueue&) = delete;
    CUpdateEventQueue& operator=(const CUpdateEventQueue&) = delete;

    // The event thread, once its message queue exists: posts may go in from now on.
    void Open();
    // The event thread, when its loop ends: nothing is posted from now on, and what is still
    // queued is released.
    void Close();
    // Final records stop waiting for room in a full queue (the manager is going away).
    void Abandon();

    void PostProgress(const ProgressFigures& figures);
    void PostFinal(std::unique_ptr<UpdateEvent> event);

    // The event thread takes a progress record it received: the senders no longer touch it.
    void TakeProgress(const UpdateEvent* event);

private:
    // Under the lock: false when the record could not go in.
    bool PostLocked(UpdateEvent* event, DWORD& error);
    // Under the lock: posts lastProgress as the record in flight.
    void PostProgressLocked();

    const bcl::system::process::thread::CThread& eventThread;
    std::mutex lock;
    bool open = false;
    bool abandoned = false;
    UpdateEvent* progressInFlight = nullptr;
    UpdateEvent lastProgress;   // the latest figures
    bool progressHeld = false;  // lastProgress waits for its turn
    DWORD lastPostTick = 0;
};
