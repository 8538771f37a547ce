#include "download/CProxyPrompt.h"

#include <utility>
#include <vector>

namespace {

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

std::wstring StringOption(HINTERNET request, DWORD option) {
    DWORD size = 0;
    InternetQueryOptionW(request, option, nullptr, &size);
    if (size == 0) return L"";
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (!InternetQueryOptionW(request, option, text.data(), &size)) return L"";
    return text.data();
}

}  // namespace

void CProxyPrompt::SetOwner(HWND window) {
    const std::lock_guard<std::mutex> guard(lock);
    owner = window;
}

bool CProxyPrompt::Answer(HINTERNET request, Credentials& answer) {
    std::unique_lock<std::mutex> guard(lock);
    answered.wait(guard, [this] { return stopped || state != State::Asking; });
    if (stopped) return false;
    if (state == State::NotAsked) {
        state = State::Asking;
        promptThread = GetCurrentThreadId();
        const HWND window = owner;
        guard.unlock();
        Credentials given;
        bool ok = false;
        try {
            ok = Prompt(window, request, given) && !given.user.empty();
        } catch (...) {
            ok = false;
        }
        guard.lock();
        promptThread = 0;
        state = ok && !stopped ? State::Answered : State::Refused;
        credentials = std::move(given);
        answered.notify_all();
    }
    if (state != State::Answered) return false;
    answer = credentials;
    return true;
}

void CProxyPrompt::Stop() {
    DWORD thread = 0;
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopped = true;
        thread = promptThread;
        answered.notify_all();
    }
    if (thread != 0) ClosePrompt(thread);
}

bool CProxyPrompt::Prompt(HWND window, HINTERNET request, Credentials& given) {
    const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                        FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
    if (InternetErrorDlg(window ? window : GetDesktopWindow(), request,
                         ERROR_INTERNET_INCORRECT_PASSWORD, flags,
                         nullptr) != ERROR_INTERNET_FORCE_RETRY)
        return false;
    given.user = StringOption(request, INTERNET_OPTION_PROXY_USERNAME);
    given.password = StringOption(request, INTERNET_OPTION_PROXY_PASSWORD);
    return true;
}

void CProxyPrompt::ClosePrompt(DWORD thread) { EnumThreadWindows(thread, &CloseDialog, 0); }
