#include "download/CParallelDownload.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <shared_mutex>

#include "download/CDetachedWorker.h"
#include "download/CDownloadComponent.h"
#include "support/bcl/common/exception/CaughtException.h"

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

// The callback as the workers see it: every call goes through while attached; once detached
// (the owner is going away) none does, and IsStopped answers true. Detach waits for calls
// in progress.
class CCallbackLink : public IDownloadCallback {
public:
    CCallbackLink(IDownloadCallback& target, CParallelDownload::RecordDone recordDone,
                  CParallelDownload::Replacement replacement)
        : target(&target),
          recordDone(std::move(recordDone)),
          replacement(std::move(replacement)) {}

    void Detach() {
        std::unique_lock<std::shared_mutex> guard(lock);
        target = nullptr;
        recordDone = nullptr;
        replacement = nullptr;
    }
    std::optional<DownloadComponentInfo> Replace(size_t index, bool received,
                                                 const std::wstring& failure) {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (!target || !replacement) return std::nullopt;
        return replacement(index, received, failure);
    }
    void RecordDone(size_t index) {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target && recordDone) recordDone(index);
    }

    void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index, int count,
                    const wchar_t* doneText, const wchar_t* totalText) override {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target)
            target->OnProgress(name, filePercent, totalPercent, index, count, doneText, totalText);
    }
    void OnComplete() override {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target) target->OnComplete();
    }
    void OnError(const wchar_t* text) override {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target) target->OnError(text);
    }
    bool IsStopped() override {
        std::shared_lock<std::shared_mutex> guard(lock);
        return !target || target->IsStopped();
    }
    void OnStopped() override {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target) target->OnStopped();
    }
    void Stop() override {
        std::shared_lock<std::shared_mutex> guard(lock);
        if (target) target->Stop();
    }
    DownloadList* GetComponents() override { return nullptr; }

private:
    std::shared_mutex lock;
    IDownloadCallback* target;
    CParallelDownload::RecordDone recordDone;
    CParallelDownload::Replacement replacement;
};

// One transfer's view of the link: its failure text is held, so that a record that has a
// replacement fails nothing.
class CHeldErrorLink : public IDownloadCallback {
public:
    explicit CHeldErrorLink(IDownloadCallback& link) : link(link) {}

    const std::wstring& Error() const { return error; }

    void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index, int count,
                    const wchar_t* doneText, const wchar_t* totalText) override {
        link.OnProgress(name, filePercent, totalPercent, index, count, doneText, totalText);
    }
    void OnComplete() override { link.OnComplete(); }
    void OnError(const wchar_t* text) override {
        if (error.empty() && text) error = text;
    }
    bool IsStopped() override { return link.IsStopped(); }
    void OnStopped() override { link.OnStopped(); }
    void Stop() override { link.Stop(); }
    DownloadList* GetComponents() override { return nullptr; }

private:
    IDownloadCallback& link;
    std::wstring error;
};

}  // namespace

struct CParallelDownload::State {
    State(IDownloadCallback& callback, std::shared_ptr<CTransferAbort> abort, int connections,
          RecordDone recordDone, std::shared_ptr<void> keepAlive, Replacement replacement)
        : link(callback, std::move(recordDone), std::move(replacement)),
          abort(std::move(abort)),
          connections(connections),
          keepAlive(std::move(keepAlive)) {}

    void Work();
    // False when the list must end: stopped, failed or done.
    bool FetchNext();
    void Fail(const std::wstring& text);
    void WorkerEnded();

    CCallbackLink link;
    std::shared_ptr<CTransferAbort> abort;
    int connections;
    std::shared_ptr<void> keepAlive;
    DownloadList list;
    bool haveList = false;
    std::atomic<size_t> next{0};
    std::atomic<int> running{0};
    std::atomic<bool> failed{false};
    std::vector<std::unique_ptr<CDetachedWorker>> workers;
};

CParallelDownload::CParallelDownload(IDownloadCallback& callback,
                                     std::shared_ptr<CTransferAbort> abort, int connections,
                                     RecordDone recordDone, std::shared_ptr<void> keepAlive,
                                     Replacement replacement)
    : state(std::make_shared<State>(callback, std::move(abort),
                                    std::clamp(connections, 1, kMaxConnections),
                                    std::move(recordDone), std::move(keepAlive),
                                    std::move(replacement))) {
    const DownloadList* list = callback.GetComponents();
    state->haveList = list != nullptr;
    if (list) state->list = *list;
}

CParallelDownload::~CParallelDownload() {
    if (!state->workers.empty()) state->abort->Stop();
    state->link.Detach();
}

bool CParallelDownload::Start() {
    const size_t count = state->list.size();
    // One worker even for an empty list: the end is always told from a worker of the list.
    const size_t threads = std::max<size_t>(1, std::min<size_t>(count, state->connections));
    RaiseConnectionLimit(static_cast<DWORD>(threads));
    // The starter counts as running until every worker is started: a list that ends before
    // the last worker starts is still told its end once, by whoever ends last.
    state->running = 1;
    for (size_t i = 0; i < threads; ++i) {
        auto worker = std::make_unique<CDetachedWorker>();
        ++state->running;
        // The worker holds the state: it outlives this object when a stop leaves it blocked.
        std::shared_ptr<State> held = state;
        if (!worker->Start([held] { held->Work(); })) {
            --state->running;
            break;
        }
        state->workers.push_back(std::move(worker));
    }
    if (state->workers.empty()) {
        state->running = 0;
        return false;
    }
    state->WorkerEnded();
    return true;
}

void CParallelDownload::Wait() {
    for (const auto& worker : state->workers) worker->Wait(INFINITE);
}

void CParallelDownload::WaitUnlessStopped() {
    for (const auto& worker : state->workers)
        if (!worker->Wait(INFINITE, state->abort->Event())) return;
}

int CParallelDownload::Running() const { return state->running.load(); }

void CParallelDownload::State::Work() {
    try {
        while (FetchNext()) {
        }
    } catch (...) {
        ReportCaughtException(L"CParallelDownload::Work");
        Fail(L"Failed to download the update");
    }
    WorkerEnded();
}

bool CParallelDownload::State::FetchNext() {
    if (!haveList) {
        Fail(L"Failed to download file : -");
        return false;
    }
    if (failed || abort->Stopped() || link.IsStopped()) return false;
    const size_t index = next++;
    if (index >= list.size()) return false;
    DownloadComponentInfo& record = list[index];
    const int count = static_cast<int>(list.size());
    for (;;) {
        CHeldErrorLink held(link);
        CDownloadComponent component(&held, &record, static_cast<int>(index) + 1, count);
        {
            const CWatchedTransfer watched(*abort, component);
            component.Start(TRUE);
        }
        const bool received = component.IsReceived();
        if (!received && (component.IsCancelled() || component.IsAborted())) return false;
        // The downloader reported its failure through OnError, or reports none at all.
        const std::wstring failure =
            received ? std::wstring()
            : held.Error().empty() ? L"Failed to download file : " + record.strDisplayName
                                   : held.Error();
        if (!failed && !abort->Stopped()) {
            std::optional<DownloadComponentInfo> other = link.Replace(index, received, failure);
            if (other) {
                record = std::move(*other);
                continue;
            }
        }
        if (received) {
            link.RecordDone(index);
            return true;
        }
        Fail(failure);
        return false;
    }
}

void CParallelDownload::State::Fail(const std::wstring& text) {
    const bool first = !failed.exchange(true);
    if (first && !text.empty()) link.OnError(text.c_str());
    abort->Stop();
}

void CParallelDownload::State::WorkerEnded() {
    if (--running > 0) return;
    // Every worker is done with the run's files: the lock goes back before the end is told.
    keepAlive.reset();
    try {
        const bool whole =
            !failed && !abort->Stopped() && !link.IsStopped() && haveList && next.load() >= list.size();
        if (whole)
            link.OnComplete();
        else
            link.OnStopped();
    } catch (...) {
        ReportCaughtException(L"CParallelDownload, final report");
    }
}
