#include "download/CTransferAbort.h"

#include <algorithm>
#include <new>

#include "download/CHttpDownloader.h"

CTransferAbort::CTransferAbort() : stoppedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!stoppedEvent) throw std::bad_alloc();
}

CTransferAbort::~CTransferAbort() { CloseHandle(stoppedEvent); }

void CTransferAbort::Reset() {
    std::lock_guard<std::mutex> guard(lock);
    stopped = false;
    ResetEvent(stoppedEvent);
}

void CTransferAbort::Begin(CHttpDownloader& transfer) {
    std::lock_guard<std::mutex> guard(lock);
    running.push_back(&transfer);
    if (stopped) transfer.Abort();
}

void CTransferAbort::End(CHttpDownloader& transfer) {
    std::lock_guard<std::mutex> guard(lock);
    running.erase(std::remove(running.begin(), running.end(), &transfer), running.end());
}

void CTransferAbort::Stop() {
    std::lock_guard<std::mutex> guard(lock);
    stopped = true;
    SetEvent(stoppedEvent);
    // Under the lock: a transfer cannot end, and be destroyed, while it is aborted.
    for (CHttpDownloader* transfer : running) transfer->Abort();
}
