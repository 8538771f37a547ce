#include "download/DownloadThreadProc.h"

#include <stdexcept>
#include <string>

#include "download/CDownloadComponent.h"
#include "support/bcl/common/exception/CaughtException.h"

unsigned __stdcall DownloadThreadProc(void* param) {
    auto* callback = static_cast<IDownloadCallback*>(param);
    if (!callback) return 0;
    std::wstring current = L"-";
    try {
        DownloadList* list = callback->GetComponents();
        if (!list) throw std::invalid_argument("no download list");
        const int count = static_cast<int>(list->size());
        for (int i = 0;; ++i) {
            if (i >= count) {
                callback->OnComplete();
                break;
            }
            if (callback->IsStopped()) {
                callback->OnStopped();
                break;
            }
            DownloadComponentInfo& record = (*list)[static_cast<size_t>(i)];
            current = record.strDisplayName;
            CDownloadComponent component(callback, &record, i + 1, count);
            component.Start(TRUE);
            if (component.IsCancelled()) {
                callback->OnStopped();
                break;
            }
        }
    } catch (...) {
        bcl::common::exception::ReportCaughtException(L"DownloadThreadProc");
        // The receiver still learns that the list has ended, unless telling it throws too.
        try {
            if (callback->IsStopped())
                callback->OnStopped();
            else
                callback->OnError((L"Failed to download file : " + current).c_str());
        } catch (...) {
            bcl::common::exception::ReportCaughtException(L"DownloadThreadProc, final report");
        }
    }
    return 0;
}
