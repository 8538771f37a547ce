#include "framework/win32/UserMessage.h"

#include <mutex>

namespace UserMessage {

namespace {

std::mutex g_lock;
Observer g_observer;

}  // namespace

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    Observer observer;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        observer = g_observer;
    }
    if (observer)
        return observer(owner, text, caption, type);
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

void SetObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_observer = std::move(observer);
}

}  // namespace UserMessage
