#include "RecordingNotify.h"

namespace updatetest {

RecordingNotify::RecordingNotify()
    : downloadEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      installEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

RecordingNotify::~RecordingNotify() {
    CloseHandle(downloadEnded);
    CloseHandle(installEnded);
}

void RecordingNotify::Note(std::wstring event) {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(std::move(event));
    threads.push_back(GetCurrentThreadId());
}

void RecordingNotify::OnUpdateProgress(const wchar_t* filePath, int filePercent, int overallPercent,
                                       int fileIndex, int fileCount, const wchar_t* receivedText,
                                       const wchar_t* totalText) {
    const Progress report{filePath,  filePercent,  overallPercent, fileIndex,
                          fileCount, receivedText, totalText};
    {
        std::lock_guard<std::mutex> guard(lock);
        progress.push_back(report);
    }
    Note(L"progress");
    if (onProgress) onProgress(report);
}

void RecordingNotify::OnUpdateComplete() {
    if (onComplete) onComplete();
    Note(L"complete");
    SetEvent(downloadEnded);
}

void RecordingNotify::Reset() {
    std::lock_guard<std::mutex> guard(lock);
    events.clear();
    progress.clear();
    threads.clear();
    ResetEvent(downloadEnded);
    ResetEvent(installEnded);
}

void RecordingNotify::OnUpdateError(const wchar_t* message) {
    if (onError) onError();
    Note(std::wstring(L"error:") + message);
    SetEvent(downloadEnded);
}

void RecordingNotify::OnUpdateStopped() {
    Note(L"stopped");
    SetEvent(downloadEnded);
}

void RecordingNotify::OnInstallProgress(const wchar_t* packagePath, int done, int total) {
    Note(L"install:" + std::wstring(packagePath) + L":" + std::to_wstring(done) + L"/" +
         std::to_wstring(total));
    if (onInstallProgress) onInstallProgress(done);
}

void RecordingNotify::OnInstallComplete() {
    Note(L"installed");
    SetEvent(installEnded);
}

void RecordingNotify::OnInstallError(const wchar_t* message) {
    if (onInstallError) onInstallError();
    Note(std::wstring(L"install-error:") + message);
    SetEvent(installEnded);
}

void RecordingNotify::OnInstallStopped() {
    Note(L"install-stopped");
    SetEvent(installEnded);
}

bool RecordingNotify::WaitForDownloadEnd(DWORD ms) const {
    return WaitForSingleObject(downloadEnded, ms) == WAIT_OBJECT_0;
}

bool RecordingNotify::WaitForInstallEnd(DWORD ms) const {
    return WaitForSingleObject(installEnded, ms) == WAIT_OBJECT_0;
}

std::vector<std::wstring> RecordingNotify::Events() const {
    std::lock_guard<std::mutex> guard(lock);
    return events;
}

std::vector<RecordingNotify::Progress> RecordingNotify::ProgressReports() const {
    std::lock_guard<std::mutex> guard(lock);
    return progress;
}

std::vector<DWORD> RecordingNotify::Threads() const {
    std::lock_guard<std::mutex> guard(lock);
    return threads;
}

}  // namespace updatetest
