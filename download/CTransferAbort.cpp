#include "download/CTransferAbort.h"

#include <algorithm>

#include "download/CHttpDownloader.h"

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
    // Under the lock: a transfer cannot end, and be destroyed, while it is aborted.
    for (CHttpDownloader* transfer : running) transfer->Abort();
}
