#include "update/CDownloadPhase.h"

#include <wininet.h>

#include "download/ProgressText.h"
#include "framework/win32/DebugOutput.h"
#include "update/DeltaPlan.h"
#include "update/ObjectArrival.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "support/bcl/common/exception/CException.h"

namespace {

using bcl::common::exception::ReportCaughtException;

const wchar_t* TextOrEmpty(const wchar_t* text) { return text ? text : L""; }

}  // namespace

CDownloadPhase::CDownloadPhase(std::shared_ptr<CTransferAbort> abort, CLastError& errors,
                               int connections)
    : abort(std::move(abort)), errors(errors), connections(connections) {
    eventThreadReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!eventThreadReady) throw std::bad_alloc();
}

CDownloadPhase::~CDownloadPhase() {
    Detach();
    events.Abandon();
    abort->Stop();
    transfers.reset();
    // The transfers' last report ends the loop; a loop without one ends on the quit.
    QuitEventThread();
    WaitForEventThread();
    CloseHandle(eventThreadReady);
}

bool CDownloadPhase::Start(std::shared_ptr<const UpdatePlan> newPlan, CRudovuZadoNotify* receiver,
                           PhaseEnded ended, std::shared_ptr<void> keepAlive) {
    Wait();
    transfers.reset();
    finalPosted = false;
    plan = std::move(newPlan);
    requests = plan->Requests();
    requestFiles = plan->RequestFiles();
    std::vector<uint64_t> sizes;
    for (size_t position : requestFiles) {
        const PlannedFile& file = plan->files[position];
        sizes.push_back(file.delta ? file.delta->size
                                   : static_cast<uint64_t>(std::max(0, file.entry.fileSize)));
    }
    fellBack.assign(requestFiles.size(), 0);
    refetched.assign(requestFiles.size(), 0);
    {
        std::lock_guard<std::mutex> guard(progressLock);
        progress = std::make_unique<DownloadProgress>(std::move(sizes));
        firstFailure.clear();
        failed = false;
    }
    notify = receiver;
    phaseEnded = std::move(ended);
    if (!StartEventThread()) return false;
    transfers = std::make_unique<CParallelDownload>(
        static_cast<IDownloadCallback&>(*this), abort, connections,
        [this](size_t index) { RecordDone(index); }, std::move(keepAlive),
        [this](size_t index, bool received, const std::wstring& failure) {
            return Replacement(index, received, failure);
        });
    if (transfers->Start()) return true;
    // The loop waits for a report that will never come.
    transfers.reset();
    QuitEventThread();
    WaitForEventThread();
    return false;
}

void CDownloadPhase::Wait() {
    if (OnEventThread()) return;
    if (transfers) {
        transfers->WaitUnlessStopped();
        // A stop waits for no transfer: the phase ends without the ones still blocked.
        if (abort->Stopped()) OnStopped();
    }
    WaitForEventThread();
}

void CDownloadPhase::StopNow() {
    abort->Stop();
    if (transfers) OnStopped();
}

void CDownloadPhase::Detach() { notify = nullptr; }

bool CDownloadPhase::OnEventThread() const {
    return eventThread.ThreadHandle() != INVALID_HANDLE_VALUE &&
           GetCurrentThreadId() == eventThread.ThreadId();
}

bool CDownloadPhase::StartEventThread() {
    ResetEvent(eventThreadReady);
    eventThread.Close();
    try {
        eventThread.Start();
    } catch (const bcl::common::exception::CException&) {
        return false;
    }
    // Nothing may be posted before the loop's queue exists; a loop that ended at once
    // (it cannot throw out of Run) signals by its handle.
    const HANDLE waits[] = {eventThreadReady, eventThread.ThreadHandle()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return true;
}

void CDownloadPhase::QuitEventThread() {
    // Only while it runs: the number of an ended thread may be given to another one.
    const HANDLE thread = eventThread.ThreadHandle();
    if (thread != INVALID_HANDLE_VALUE && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
        eventThread.PostToThread(WM_QUIT, 0, 0);
}

void CDownloadPhase::WaitForEventThread() {
    const HANDLE thread = eventThread.ThreadHandle();
    if (thread == INVALID_HANDLE_VALUE || OnEventThread()) return;
    WaitForSingleObject(thread, INFINITE);
}

void CDownloadPhase::OnProgress(const wchar_t*, int filePercent, int, int index, int,
                                const wchar_t* doneText, const wchar_t* totalText) {
    const size_t request = static_cast<size_t>(index - 1);
    if (index < 1 || request >= requestFiles.size()) return;
    // Named as the user knows the package, not by the run's part file.
    const std::wstring path = plan->files[requestFiles[request]].ShownPackage();
    // Posted under the lock: figures computed later are never overtaken by older ones.
    std::lock_guard<std::mutex> guard(progressLock);
    progress->Update(request, filePercent);
    // A manifest that gives no sizes leaves the package's own figures to show.
    const bool sized = progress->TotalBytes() > 0;
    const std::wstring received =
        sized ? ProgressText::SizeText(progress->ReceivedBytes()) : TextOrEmpty(doneText);
    const std::wstring total =
        sized ? ProgressText::SizeText(progress->TotalBytes()) : TextOrEmpty(totalText);
    events.PostProgress(ProgressFigures{path.c_str(), filePercent, progress->OverallPercent(),
                                        progress->CurrentIndex(), progress->Count(),
                                        received.c_str(), total.c_str()});
}

void CDownloadPhase::RecordDone(size_t index) {
    std::lock_guard<std::mutex> guard(progressLock);
    progress->Done(index);
}

std::optional<DownloadComponentInfo> CDownloadPhase::Replacement(size_t index, bool received,
                                                                const std::wstring& failure) {
    if (index >= requestFiles.size()) return std::nullopt;
    const PlannedFile& file = plan->files[requestFiles[index]];
    const bool fetchingDelta = file.delta && !fellBack[index];
    if (received) {
        const auto object = ObjectArrival::OfRequest(file, fetchingDelta);
        if (const auto refusal = object ? ObjectArrival::Refusal(*object) : std::nullopt)
            return RefuseObject(index, file, fetchingDelta, object->part, *refusal);
    }
    if (!fetchingDelta) return std::nullopt;
    const std::optional<std::wstring> why =
        received ? DeltaPlan::Stage(file)
                 : std::optional<std::wstring>(L"the delta was not received: " + failure);
    if (!why) return std::nullopt;
    return FallBackToPackage(index, file, *why);
}

DownloadComponentInfo CDownloadPhase::FallBackToPackage(size_t index, const PlannedFile& file,
                                                        const std::wstring& why) {
    fellBack[index] = 1;
    {
        std::lock_guard<std::mutex> guard(progressLock);
        progress->Replace(index, static_cast<uint64_t>(std::max(0, file.entry.fileSize)));
    }
    return DeltaPlan::FallBack(file, why);
}

std::optional<DownloadComponentInfo> CDownloadPhase::RefuseObject(size_t index,
                                                                  const PlannedFile& file,
                                                                  bool delta,
                                                                  const std::wstring& part,
                                                                  const std::wstring& why) {
    const std::wstring name =
        delta ? DeltaChoice::ObjectName(*file.delta) : file.entry.object;
    DebugOutput::DebugLine(L"CUpdateManagerLite, object refused: " + name + L" for " +
                           file.target + L": " + why + L"\n");
    // Never resumed, never read.
    DeleteFileW(part.c_str());
    if (delta) return FallBackToPackage(index, file, why);
    if (!refetched[index]) {
        refetched[index] = 1;
        DownloadComponentInfo again = file.delta ? file.packageRequest : file.request;
        again.nStartPos = 0;
        return again;
    }
    const std::wstring text = L"failed to verify file : " + file.ShownPackage() + L" (" + why + L")";
    OnError(text.c_str());
    return std::nullopt;
}

void CDownloadPhase::OnComplete() {
    for (const DownloadComponentInfo& request : requests)
        DeleteUrlCacheEntryW(request.strURL.c_str());
    // The last figures, every package whole, where the figures are the manifest's sizes (the
    // packages' own figures reached their end with their last read).
    bool sized = false;
    {
        std::lock_guard<std::mutex> guard(progressLock);
        sized = progress->TotalBytes() > 0;
    }
    if (sized) OnProgress(nullptr, 100, 100, static_cast<int>(requests.size()), 0, nullptr, nullptr);
    PostFinal(kEventComplete);
}

void CDownloadPhase::OnError(const wchar_t* text) {
    {
        std::lock_guard<std::mutex> guard(progressLock);
        if (failed) return;
        failed = true;
        firstFailure = TextOrEmpty(text);
    }
    errors.SetText(TextOrEmpty(text));
    // One failure for good ends the phase: the other transfers stop at once.
    abort->Stop();
}

bool CDownloadPhase::IsStopped() { return abort->Stopped(); }

void CDownloadPhase::OnStopped() {
    std::wstring failure;
    bool wasFailure = false;
    {
        std::lock_guard<std::mutex> guard(progressLock);
        wasFailure = failed;
        failure = firstFailure;
    }
    if (wasFailure)
        PostFinal(kEventError, failure);
    else
        PostFinal(kEventStopped);
}

void CDownloadPhase::Stop() { abort->Stop(); }

DownloadList* CDownloadPhase::GetComponents() { return &requests; }

void CDownloadPhase::PostFinal(EventKind kind, const std::wstring& message) {
    if (finalPosted.exchange(true)) return;
    auto event = std::make_unique<UpdateEvent>();
    event->kind = kind;
    event->message = message;
    events.PostFinal(std::move(event));
}

unsigned CDownloadPhase::RunEvents() {
    finalDispatched = false;
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    events.Open();
    SetEvent(eventThreadReady);
    try {
        for (;;) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) break;
            if (message.hwnd == nullptr && message.message == CUpdateEventQueue::kEventMessage) {
                if (!DispatchEvent(reinterpret_cast<UpdateEvent*>(message.wParam))) break;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    } catch (...) {
        // A notification that throws ends the loop; the phase still ends with one final
        // report, unless that one threw.
        ReportCaughtException(L"CDownloadPhase::RunEvents");
        if (!finalDispatched) {
            abort->Stop();
            // The transfers end before the phase does: the run's files and lock are theirs
            // until then. Aborted, they end at once where the platform ends a blocked call.
            if (transfers) transfers->Wait();
            const wchar_t kText[] = L"Failed to download the update";
            errors.SetText(kText);
            try {
                if (phaseEnded) phaseEnded(kEventError);
                if (CRudovuZadoNotify* receiver = notify) receiver->OnUpdateError(kText);
            } catch (...) {
                ReportCaughtException(L"CDownloadPhase::RunEvents, final report");
            }
        }
    }
    events.Close();
    return 0;
}

bool CDownloadPhase::DispatchEvent(UpdateEvent* record) {
    std::unique_ptr<UpdateEvent> event(record);
    if (!event) return true;
    if (event->kind == kEventProgress) {
        events.TakeProgress(event.get());
        if (CRudovuZadoNotify* receiver = notify)
            receiver->OnUpdateProgress(event->filePath.c_str(), event->filePercent,
                                       event->overallPercent, event->fileIndex, event->fileCount,
                                       event->receivedText.c_str(), event->totalText.c_str());
        return true;
    }
    // From here on a throwing receiver has had its final report.
    finalDispatched = true;
    // The phase's threads are done with the run's files: another run may have them now.
    if (phaseEnded) phaseEnded(event->kind);
    CRudovuZadoNotify* receiver = notify;
    if (!receiver) return false;
    if (event->kind == kEventError)
        receiver->OnUpdateError(event->message.c_str());
    else if (event->kind == kEventStopped)
        receiver->OnUpdateStopped();
    else
        receiver->OnUpdateComplete();
    return false;
}
