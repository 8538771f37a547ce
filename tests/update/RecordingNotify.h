#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "update/CInstallLiteNotify.h"
#include "update/CRudovuZadoNotify.h"

namespace updatetest {

// Records every notification of both phases, with the thread it arrived on, and lets a test
// wait for the end of a phase (bounded).
class RecordingNotify : public CRudovuZadoNotify, public CInstallLiteNotify {
public:
    struct Progress {
        std::wstring path;
        int filePercent, overallPercent, index, count;
        std::wstring received, total;
    };

    RecordingNotify();
    ~RecordingNotify() override;

    void OnUpdateProgress(const wchar_t* filePath, int filePercent, int overallPercent,
                          int fileIndex, int fileCount, const wchar_t* receivedText,
                          const wchar_t* totalText) override;
    void OnUpdateComplete() override;
    void OnUpdateError(const wchar_t* message) override;
    void OnUpdateStopped() override;
    void OnInstallProgress(const wchar_t* packagePath, int done, int total) override;
    void OnInstallComplete() override;
    void OnInstallError(const wchar_t* message) override;
    void OnInstallStopped() override;

    // True when the phase ended within the time.
    bool WaitForDownloadEnd(DWORD ms = 60000) const;
    bool WaitForInstallEnd(DWORD ms = 60000) const;

    // "progress" for every progress report, then "complete", "error:<text>", "stopped",
    // "install:<path>:<done>/<total>", "installed", "install-stopped".
    std::vector<std::wstring> Events() const;
    std::vector<Progress> ProgressReports() const;
    std::vector<DWORD> Threads() const;
    // Forgets what was recorded, for another run.
    void Reset();

    // Called inside the notifications, on their threads.
    std::function<void(const Progress&)> onProgress;
    std::function<void()> onComplete;
    std::function<void()> onError;
    std::function<void()> onInstallError;
    std::function<void(int done)> onInstallProgress;

private:
    void Note(std::wstring event);

    mutable std::mutex lock;
    std::vector<std::wstring> events;
    std::vector<Progress> progress;
    std::vector<DWORD> threads;
    HANDLE downloadEnded;
    HANDLE installEnded;
};

}  // namespace updatetest
