#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/CTransferAbort.h"
#include "download/IDownloadCallback.h"

// Downloads the callback's list with up to `connections` transfers at once, each worker
// taking the next record when its last one ends. A record whose transfer fails transiently is
// tried again by its own worker (the others go on). Ends, on the worker that finishes last,
// with exactly one of:
// - OnComplete: every record was received whole;
// - OnStopped: a stop was asked for, or a record failed for good. The first such failure
//   stops the other transfers; its text reached OnError once before (from the component, or
//   from here for a failure the downloader does not report).
// The workers own the list and what they work on: a stop does not wait for a worker blocked
// in the network, and once this object is gone no call reaches the callback.
class CParallelDownload {
public:
    static constexpr int kMaxConnections = 8;
    // Called once for each record received whole, with its position in the list.
    using RecordDone = std::function<void(size_t index)>;
    // Called when record index was received whole (failure empty) or failed for good (its
    // text): a record to fetch in its place, or nothing to keep the outcome. Asked again for
    // the replacement's outcome; it must answer nothing some time.
    using Replacement = std::function<std::optional<DownloadComponentInfo>(
        size_t index, bool received, const std::wstring& failure)>;

    // keepAlive is held by every worker until it ends (the run's lock).
    CParallelDownload(IDownloadCallback& callback, std::shared_ptr<CTransferAbort> abort,
                      int connections, RecordDone recordDone = nullptr,
                      std::shared_ptr<void> keepAlive = nullptr, Replacement replacement = nullptr);
    CParallelDownload(const CParallelDownload&) = delete;
    CParallelDownload& operator=(const CParallelDownload&) = delete;
    // Stops the transfers and detaches the callback; waits for no blocked worker.
    ~CParallelDownload();

    // False when no worker could be started; nothing is reported then.
    bool Start();
    // Returns when every worker has ended.
    void Wait();
    // Returns when every worker has ended, or as soon as a stop is asked for.
    void WaitUnlessStopped();
    // The number of workers still running.
    int Running() const;

private:
    struct State;
    std::shared_ptr<State> state;
};
