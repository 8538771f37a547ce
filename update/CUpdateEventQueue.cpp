#include "update/CUpdateEventQueue.h"

namespace {

constexpr DWORD kFullQueuePauseMs = 2;
// Progress goes out at most this often; each post costs the platform a cross-thread message,
// as much as a block read itself.
constexpr DWORD kProgressPaceMs = 20;

}  // namespace

void CUpdateEventQueue::Open() {
    std::lock_guard<std::mutex> guard(lock);
    open = true;
    progressInFlight = nullptr;
    lastProgress = UpdateEvent();
    progressHeld = false;
    lastPostTick = GetTickCount() - kProgressPaceMs;
}

void CUpdateEventQueue::Close() {
    {
        std::lock_guard<std::mutex> guard(lock);
        open = false;
        progressInFlight = nullptr;
    }
    // Every post happened under the lock while open, so whatever is queued is here now.
    MSG message;
    while (PeekMessageW(&message, nullptr, kEventMessage, kEventMessage, PM_REMOVE))
        delete reinterpret_cast<UpdateEvent*>(message.wParam);
}

void CUpdateEventQueue::Abandon() {
    std::lock_guard<std::mutex> guard(lock);
    abandoned = true;
}

bool CUpdateEventQueue::PostLocked(UpdateEvent* event, DWORD& error) {
    error = ERROR_INVALID_THREAD_ID;
    if (!open) return false;
    if (eventThread.PostToThread(kEventMessage, reinterpret_cast<WPARAM>(event), 0)) return true;
    error = GetLastError();
    return false;
}

void CUpdateEventQueue::PostProgress(const UpdateEvent& figures) {
    std::lock_guard<std::mutex> guard(lock);
    if (figures == lastProgress) return;
    lastProgress = figures;
    if (progressInFlight) {
        *progressInFlight = figures;
        return;
    }
    progressHeld = GetTickCount() - lastPostTick < kProgressPaceMs;
    if (!progressHeld) PostProgressLocked();
}

void CUpdateEventQueue::PostProgressLocked() {
    progressHeld = false;
    auto event = std::make_unique<UpdateEvent>(lastProgress);
    DWORD error = 0;
    if (!PostLocked(event.get(), error)) return;
    progressInFlight = event.release();
    lastPostTick = GetTickCount();
}

void CUpdateEventQueue::PostFinal(std::unique_ptr<UpdateEvent> event) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock);
            // The last figures go before the end, also when the pace held them back.
            if (progressHeld) PostProgressLocked();
            DWORD error = 0;
            if (PostLocked(event.get(), error)) {
                event.release();
                return;
            }
            // Only a full queue is worth waiting for; the event thread empties it.
            if (error != ERROR_NOT_ENOUGH_QUOTA || abandoned) return;
        }
        Sleep(kFullQueuePauseMs);
    }
}

void CUpdateEventQueue::TakeProgress(const UpdateEvent* event) {
    std::lock_guard<std::mutex> guard(lock);
    if (progressInFlight == event) progressInFlight = nullptr;
}
