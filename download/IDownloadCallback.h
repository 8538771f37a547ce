#pragma once

#include <vector>

#include "download/DownloadComponentInfo.h"

// The update engine's list of download requests.
using DownloadList = std::vector<DownloadComponentInfo>;

// How a component download reports to the update engine and learns that it must stop.
// Called from the list thread and from each component's worker thread.
class IDownloadCallback {
public:
    virtual ~IDownloadCallback() = default;

    // The strings live only during the call.
    virtual void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index,
                            int count, const wchar_t* doneText, const wchar_t* totalText) = 0;
    virtual void OnComplete() = 0;
    virtual void OnError(const wchar_t* text) = 0;
    virtual bool IsStopped() = 0;
    virtual void OnStopped() = 0;
    virtual void Stop() = 0;
    // Stays valid and unchanged until the list thread ends.
    virtual DownloadList* GetComponents() = 0;
};
