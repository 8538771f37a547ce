#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// What a watched message box showed.
struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
    bool hasIcon = false;
};

// Watches the message boxes of one process from a thread of its own: reads each one's caption
// and text and closes it with OK. Other dialogs are left alone. Stops when destroyed.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(DWORD processId = GetCurrentProcessId());
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
    ~MessageBoxWatcher();

    // Waits until count boxes have been closed, at most timeoutMs; true when they were.
    bool WaitForBoxes(size_t count, DWORD timeoutMs);
    std::vector<SeenMessageBox> Seen();

private:
    static constexpr DWORD kPollMs = 30;

    void Watch();
    void VisitWindow(HWND window);
    static BOOL CALLBACK OnTopLevelWindow(HWND window, LPARAM self);

    const DWORD m_processId;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SeenMessageBox> m_seen;
    std::set<HWND> m_closing;
    std::thread m_thread;
};
