#include "download/CParallelDownload.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>

#include "download/CDownloadComponent.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "support/bcl/system/process/thread/CThread.h"

using bcl::common::exception::ReportCaughtException;

namespace {

// WinINet keeps the connections of the whole process to one server at a limit of its own;
// below the list's count it would make the transfers wait for each other.
void RaiseConnectionLimit(DWORD count) {
    for (DWORD option : {INTERNET_OPTION_MAX_CONNS_PER_SERVER,
                         INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD limit = 0;
        DWORD size = sizeof(limit);
        if (InternetQueryOptionW(nullptr, option, &limit, &size) && limit >= count) continue;
        InternetSetOptionW(nullptr, option, &count, sizeof(count));
    }
}

}  // namespace

class CParallelDownload::Worker : public bcl::system::process::thread::CThread {
public:
    explicit Worker(CParallelDownload& owner) : owner(owner) {}
    void Wait() const {
        if (ThreadHandle() != INVALID_HANDLE_VALUE) WaitForSingleObject(ThreadHandle(), INFINITE);
    }

protected:
    unsigned Run() override {
        owner.Work();
        return 0;
    }

private:
    CParallelDownload& owner;
};

CParallelDownload::CParallelDownload(IDownloadCallback& callback, CTransferAbort& abort,
                                     int connections, RecordDone recordDone)
    : callback(callback),
      abort(abort),
      connections(std::clamp(connections, 1, kMaxConnections)),
      recordDone(std::move(recordDone)) {}

CParallelDownload::~CParallelDownload() {
    if (!workers.empty()) abort.Stop();
    Wait();
}

bool CParallelDownload::Start() {
    list = callback.GetComponents();
    const size_t count = list ? list->size() : 0;
    // One thread even for an empty list: the end is always told from a thread of the list.
    const size_t threads = std::max<size_t>(1, std::min<size_t>(count, connections));
    RaiseConnectionLimit(static_cast<DWORD>(threads));
    // The starter counts as running until every thread is started: a list that ends before
    // the last thread starts is still told its end once, by whoever ends last.
    running = 1;
    for (size_t i = 0; i < threads; ++i) {
        auto worker = std::make_unique<Worker>(*this);
        ++running;
        try {
            worker->Start();
        } catch (...) {
            ReportCaughtException(L"CParallelDownload::Start");
            --running;
            break;
        }
        workers.push_back(std::move(worker));
    }
    if (workers.empty()) {
        running = 0;
        return false;
    }
    WorkerEnded();
    return true;
}

void CParallelDownload::Wait() {
    for (const auto& worker : workers) worker->Wait();
}

void CParallelDownload::Work() {
    try {
        while (FetchNext()) {
        }
    } catch (...) {
        ReportCaughtException(L"CParallelDownload::Work");
        Fail(L"Failed to download the update");
    }
    WorkerEnded();
}

bool CParallelDownload::FetchNext() {
    if (!list) {
        Fail(L"Failed to download file : -");
        return false;
    }
    if (failed || abort.Stopped() || callback.IsStopped()) return false;
    const size_t index = next++;
    if (index >= list->size()) return false;
    DownloadComponentInfo& record = (*list)[index];
    const int count = static_cast<int>(list->size());
    CDownloadComponent component(&callback, &record, static_cast<int>(index) + 1, count);
    {
        const CWatchedTransfer watched(abort, component);
        component.Start(TRUE);
    }
    if (component.IsReceived()) {
        if (recordDone) recordDone(index);
        return true;
    }
    if (component.IsCancelled() || component.IsAborted()) return false;
    // The downloader reported its failure through OnError, or reports none at all.
    if (component.GetErrorText().empty())
        Fail(L"Failed to download file : " + record.strDisplayName);
    else
        Fail(std::wstring());
    return false;
}

void CParallelDownload::Fail(const std::wstring& text) {
    const bool first = !failed.exchange(true);
    if (first && !text.empty()) callback.OnError(text.c_str());
    abort.Stop();
}

void CParallelDownload::WorkerEnded() {
    if (--running > 0) return;
    try {
        const bool whole = !failed && !abort.Stopped() && !callback.IsStopped() && list &&
                           next.load() >= list->size();
        if (whole)
            callback.OnComplete();
        else
            callback.OnStopped();
    } catch (...) {
        ReportCaughtException(L"CParallelDownload, final report");
    }
}
