#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/CParallelDownload.h"
#include "download/CTransferAbort.h"
#include "download/IDownloadCallback.h"
#include "support/bcl/system/process/thread/CThread.h"
#include "update/CLastError.h"
#include "update/CRudovuZadoNotify.h"
#include "update/CUpdateEventQueue.h"
#include "update/DownloadProgress.h"
#include "update/UpdatePlan.h"

// The download phase of a run: fetches the packages a plan needs, several at once, and
// delivers the reports to the receiver on an event thread of its own, one at a time and in
// order: progress of the whole phase as one transfer, then exactly one of complete, error or
// stopped. A package's transient failures are retried by its own transfer; the first failure
// for good stops the other transfers and is the one reported. A stop ends the phase at once:
// its transfers are aborted, and none blocked in the network is waited for.
class CDownloadPhase : private IDownloadCallback {
public:
    // Called on the event thread with the phase's final kind (complete, error or stopped),
    // before the receiver hears of it.
    using PhaseEnded = std::function<void(EventKind final)>;

    CDownloadPhase(std::shared_ptr<CTransferAbort> abort, CLastError& errors, int connections);
    CDownloadPhase(const CDownloadPhase&) = delete;
    CDownloadPhase& operator=(const CDownloadPhase&) = delete;
    // Detaches the receiver, stops the transfers and waits for the event thread only.
    ~CDownloadPhase() override;

    // False when the phase could not be started; nothing is reported then. The transfers
    // hold keepAlive (the run's lock) until each has ended.
    bool Start(std::shared_ptr<const UpdatePlan> plan, CRudovuZadoNotify* receiver,
               PhaseEnded ended, std::shared_ptr<void> keepAlive = nullptr);
    // Aborts the transfers and ends the phase now (stopped, or the failure that came first).
    void StopNow();
    // Returns when the last start's phase has ended, its transfers too unless it was stopped;
    // at once on the event thread.
    void Wait();
    // No notification is made from now on.
    void Detach();
    bool OnEventThread() const;
    // The requests of the last start: their parts, resume positions included.
    const DownloadList& Requests() const { return requests; }

private:
    class EventThread : public bcl::system::process::thread::CThread {
    public:
        explicit EventThread(CDownloadPhase& phase) : phase(phase) {}

    protected:
        unsigned Run() override { return phase.RunEvents(); }

    private:
        CDownloadPhase& phase;
    };

    // IDownloadCallback: called by the transfer threads.
    void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index, int count,
                    const wchar_t* doneText, const wchar_t* totalText) override;
    void OnComplete() override;
    void OnError(const wchar_t* text) override;
    bool IsStopped() override;
    void OnStopped() override;
    void Stop() override;
    DownloadList* GetComponents() override;

    void RecordDone(size_t index);
    // On a transfer's thread, when request index ended: a received object is checked against
    // its name (ObjectArrival) before anything reads it, a delta is staged here, and a delta
    // that failed is replaced by its file's package.
    std::optional<DownloadComponentInfo> Replacement(size_t index, bool received,
                                                     const std::wstring& failure);
    DownloadComponentInfo FallBackToPackage(size_t index, const PlannedFile& file,
                                            const std::wstring& why);
    // An object whose bytes are not its name's: its part is deleted; a delta gives way to the
    // package, a package is fetched once more from its start, then fails the phase.
    std::optional<DownloadComponentInfo> RefuseObject(size_t index, const PlannedFile& file,
                                                      bool delta, const std::wstring& part,
                                                      const std::wstring& why);
    void PostFinal(EventKind kind, const std::wstring& message = std::wstring());
    unsigned RunEvents();
    // False when the event is the phase's last.
    bool DispatchEvent(UpdateEvent* event);
    bool StartEventThread();
    void WaitForEventThread();
    void QuitEventThread();

    std::shared_ptr<CTransferAbort> abort;
    CLastError& errors;
    int connections;
    std::shared_ptr<const UpdatePlan> plan;
    DownloadList requests;
    std::vector<size_t> requestFiles;  // position in the plan of each request
    std::vector<char> fellBack;        // for each request: its delta was replaced
    std::vector<char> refetched;       // for each request: its package was refused once
    std::atomic<CRudovuZadoNotify*> notify{nullptr};
    PhaseEnded phaseEnded;

    std::mutex progressLock;
    std::unique_ptr<DownloadProgress> progress;
    std::wstring firstFailure;
    bool failed = false;
    // Only the first final report of a start is posted.
    std::atomic<bool> finalPosted{false};

    EventThread eventThread{*this};
    CUpdateEventQueue events{eventThread};
    HANDLE eventThreadReady = nullptr;
    // On the event thread: whether the phase's final report was handed to the receiver.
    bool finalDispatched = false;
    std::unique_ptr<CParallelDownload> transfers;
};
