#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "download/IDownloadCallback.h"

namespace downloadtest {

// Records every call; can ask to stop after a number of progress reports.
class RecordingCallback : public IDownloadCallback {
public:
    struct Progress {
        std::wstring name;
        int filePercent, totalPercent, index, count;
        std::wstring doneText, totalText;
    };

    explicit RecordingCallback(DownloadList list = {}) : list(std::move(list)) {}

    void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index, int count,
                    const wchar_t* doneText, const wchar_t* totalText) override;
    void OnComplete() override { Note(L"OnComplete"); }
    void OnError(const wchar_t* text) override;
    bool IsStopped() override { return stopped; }
    void OnStopped() override { Note(L"OnStopped"); }
    void Stop() override;
    DownloadList* GetComponents() override { return &list; }

    std::vector<std::wstring> Events() const;
    std::vector<Progress> ProgressReports() const;

    DownloadList list;
    int stopAfterProgress = -1;  // ask to stop once this many reports arrived...
    int stopCountsIndex = 0;     // ...of the record at this position (1-based), when set
    bool stopOnError = false;    // as the update engine does: the first error stops the rest
    std::atomic<bool> stopped{false};

private:
    void Note(const std::wstring& event);
    mutable std::mutex lock;
    std::vector<std::wstring> events;
    std::vector<Progress> progress;
};

}  // namespace downloadtest
