#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/CTransferAbort.h"
#include "download/IDownloadCallback.h"

// Downloads the callback's list with up to `connections` transfers at once, each thread
// taking the next record when its last one ends. Ends, on the thread that finishes last,
// with exactly one of:
// - OnComplete: every record was received whole;
// - OnStopped: a stop was asked for, or a record failed. The first failure stops the other
//   transfers; its text reached OnError once before (from the component, or from here for a
//   failure the downloader does not report).
class CParallelDownload {
public:
    static constexpr int kMaxConnections = 8;
    // Called once for each record received whole, with its position in the list.
    using RecordDone = std::function<void(size_t index)>;

    CParallelDownload(IDownloadCallback& callback, CTransferAbort& abort, int connections,
                      RecordDone recordDone = nullptr);
    CParallelDownload(const CParallelDownload&) = delete;
    CParallelDownload& operator=(const CParallelDownload&) = delete;
    // Stops the transfers and waits for every thread.
    ~CParallelDownload();

    // False when no thread could be started; nothing is reported then.
    bool Start();
    // Returns when every thread has ended.
    void Wait();

private:
    class Worker;
    void Work();
    // False when the list must end: stopped, failed or done.
    bool FetchNext();
    void Fail(const std::wstring& text);
    void WorkerEnded();

    IDownloadCallback& callback;
    CTransferAbort& abort;
    int connections;
    RecordDone recordDone;
    DownloadList* list = nullptr;
    std::atomic<size_t> next{0};
    std::atomic<int> running{0};
    std::atomic<bool> failed{false};
    std::vector<std::unique_ptr<Worker>> workers;
};
