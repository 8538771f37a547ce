#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

class CHttpDownloader;

// The stop of one run's transfers: once Stop is called, every transfer that is running is
// aborted at once (a send or read that blocks returns), and every transfer that begins later
// is aborted as it begins. Transfers are watched from Begin to End, on any thread. Shared by
// the run and by every worker that may outlive it.
class CTransferAbort {
public:
    CTransferAbort();
    CTransferAbort(const CTransferAbort&) = delete;
    CTransferAbort& operator=(const CTransferAbort&) = delete;
    ~CTransferAbort();

    void Begin(CHttpDownloader& transfer);
    void End(CHttpDownloader& transfer);
    void Stop();
    // For a new run; transfers still watched stay watched.
    void Reset();
    bool Stopped() const { return stopped; }
    const std::atomic<bool>& Flag() const { return stopped; }
    // Signalled from Stop until Reset: a wait may end on it.
    HANDLE Event() const { return stoppedEvent; }

private:
    HANDLE stoppedEvent = nullptr;
    std::mutex lock;
    std::atomic<bool> stopped{false};
    std::vector<CHttpDownloader*> running;
};

// Watches one transfer for its scope.
class CWatchedTransfer {
public:
    CWatchedTransfer(CTransferAbort& abort, CHttpDownloader& transfer)
        : abort(abort), transfer(transfer) {
        abort.Begin(transfer);
    }
    CWatchedTransfer(const CWatchedTransfer&) = delete;
    CWatchedTransfer& operator=(const CWatchedTransfer&) = delete;
    ~CWatchedTransfer() { abort.End(transfer); }

private:
    CTransferAbort& abort;
    CHttpDownloader& transfer;
};
