#include "support/ui/MessageBoxWatcher.h"

#include <chrono>

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// The static control that carries a message box's text; other dialogs have none.
constexpr int kMessageTextId = 0xFFFF;

BOOL CALLBACK FindIcon(HWND child, LPARAM hasIcon) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 &&
        (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0)
        *reinterpret_cast<bool*>(hasIcon) = true;
    return TRUE;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(DWORD processId)
    : m_processId(processId), m_thread([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    m_stop = true;
    m_thread.join();
}

bool MessageBoxWatcher::WaitForBoxes(size_t count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_seen.size() >= count; });
}

std::vector<SeenMessageBox> MessageBoxWatcher::Seen() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_seen;
}

void MessageBoxWatcher::Watch() {
    while (!m_stop) {
        EnumWindows(&MessageBoxWatcher::OnTopLevelWindow, reinterpret_cast<LPARAM>(this));
        Sleep(kPollMs);
    }
}

BOOL CALLBACK MessageBoxWatcher::OnTopLevelWindow(HWND window, LPARAM self) {
    reinterpret_cast<MessageBoxWatcher*>(self)->VisitWindow(window);
    return TRUE;
}

void MessageBoxWatcher::VisitWindow(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != m_processId || ClassOf(window) != L"#32770" || !IsWindowVisible(window))
        return;
    const HWND textControl = GetDlgItem(window, kMessageTextId);
    if (textControl == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // A box already answered may stay visible for a moment while it closes.
        std::erase_if(m_closing, [](HWND closing) { return !IsWindow(closing); });
        if (!m_closing.insert(window).second) return;
    }
    SeenMessageBox seen{TextOf(window), TextOf(textControl), false};
    EnumChildWindows(window, FindIcon, reinterpret_cast<LPARAM>(&seen.hasIcon));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_seen.push_back(std::move(seen));
    }
    m_changed.notify_all();
}
