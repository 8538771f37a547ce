#include "download/RecordingCallback.h"

#include <algorithm>

namespace downloadtest {

void RecordingCallback::OnProgress(const wchar_t* name, int filePercent, int totalPercent,
                                   int index, int count, const wchar_t* doneText,
                                   const wchar_t* totalText) {
    std::lock_guard<std::mutex> guard(lock);
    progress.push_back({name, filePercent, totalPercent, index, count, doneText, totalText});
    const auto counted = std::count_if(progress.begin(), progress.end(), [&](const Progress& p) {
        return stopCountsIndex == 0 || p.index == stopCountsIndex;
    });
    if (stopAfterProgress >= 0 && counted >= stopAfterProgress) stopped = true;
}

void RecordingCallback::OnError(const wchar_t* text) {
    Note(std::wstring(L"OnError:") + text);
    if (stopOnError) stopped = true;
}

void RecordingCallback::Stop() {
    Note(L"Stop");
    stopped = true;
}

std::vector<std::wstring> RecordingCallback::Events() const {
    std::lock_guard<std::mutex> guard(lock);
    return events;
}

std::vector<RecordingCallback::Progress> RecordingCallback::ProgressReports() const {
    std::lock_guard<std::mutex> guard(lock);
    return progress;
}

void RecordingCallback::Note(const std::wstring& event) {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(event);
}

}  // namespace downloadtest
