#include "update/CUpdateEventQueue.h"

namespace {

constexpr DWORD kFullQueuePauseMs = 2;
// Progress goes out at most ten times a second: a receiver shows no more, and each post costs
// a cross-thread message.
constexpr DWORD kProgressPaceMs = 100;

const wchar_t* TextOrEmpty(const wchar_t* text) { return text ? text : L""; }

// Copies the figures into event; false when it held them already.
bool Update(UpdateEvent& event, const ProgressFigures& figures) {
    const wchar_t* path = TextOrEmpty(figures.filePath);
    const wchar_t* received = TextOrEmpty(figures.receivedText);
    const wchar_t* total = TextOrEmpty(figures.totalText);
    if (event.kind == kEventProgress && event.filePercent == figures.filePercent &&
        event.overallPercent == figures.overallPercent && event.fileIndex == figures.fileIndex &&
        event.fileCount == figures.fileCount && event.filePath == path &&
        event.receivedText == received && event.totalText == total)
        return false;
    event.kind = kEventProgress;
    event.filePercent = figures.filePercent;
    event.overallPercent = figures.overallPercent;
    event.fileIndex = figures.fileIndex;
    event.fileCount = figures.fileCount;
    event.filePath = path;
    event.receivedText = received;
    event.totalText = total;
    return true;
}

}  // namespace

void CUpdateEventQueue::Open() {
    std::lock_guard<std::mutex> guard(lock);
    open = true;
    progressInFlight = nullptr;
    lastProgress = UpdateEvent();
    lastProgress.kind = kEventStopped;  // no figures yet: the first ones always differ
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

void CUpdateEventQueue::PostProgress(const ProgressFigures& figures) {
    std::lock_guard<std::mutex> guard(lock);
    // Most 1 KiB reads change no figure: compared in place, they cost no copy.
    if (!Update(lastProgress, figures)) return;
    if (progressInFlight) {
        *progressInFlight = lastProgress;
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
