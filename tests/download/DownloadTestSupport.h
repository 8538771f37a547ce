#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "download/IDownloadCallback.h"

namespace downloadtest {

// Collects the debug lines written while it lives.
class DebugLines {
public:
    DebugLines();
    ~DebugLines();
    std::vector<std::wstring> All() const;
    bool Has(const std::wstring& line) const;
    int CountStartingWith(const std::wstring& prefix) const;

private:
    mutable std::mutex lock;
    std::vector<std::wstring> lines;
};

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return path; }
    std::wstring File(const std::wstring& name) const { return path + L"\\" + name; }

private:
    std::wstring path;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// Bytes that differ from block to block, so misplaced blocks show.
std::string Pattern(size_t size);

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
    void OnError(const wchar_t* text) override { Note(std::wstring(L"OnError:") + text); }
    bool IsStopped() override { return stopped; }
    void OnStopped() override { Note(L"OnStopped"); }
    void Stop() override;
    DownloadList* GetComponents() override { return &list; }

    std::vector<std::wstring> Events() const;
    std::vector<Progress> ProgressReports() const;

    DownloadList list;
    int stopAfterProgress = -1;  // ask to stop once this many reports arrived
    std::atomic<bool> stopped{false};

private:
    void Note(const std::wstring& event);
    mutable std::mutex lock;
    std::vector<std::wstring> events;
    std::vector<Progress> progress;
};

}  // namespace downloadtest
