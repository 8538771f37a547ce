#include "patchui/CPatchDlg.h"

#include <string>
#include <utility>

#include "framework/win32/CodeModule.h"
#include "framework/win32/UserMessage.h"
#include "support/bcl/common/exception/CaughtException.h"

namespace {

using bcl::common::exception::ReportCaughtException;

// Posted by other threads; the dialog's own thread ends the dialog with wParam.
constexpr UINT kEndMessage = WM_APP + 0x101;
constexpr double kLayoutPixelsPerInch = 96.0;

}  // namespace

CPatchDlg::CPatchDlg(std::wstring updateUrl, std::wstring installFolder, HWND parent,
                     ManagerFactory createManager)
    : updateUrl(std::move(updateUrl)),
      installFolder(std::move(installFolder)),
      m_parent(parent),
      m_createManager(std::move(createManager)) {}

CPatchDlg::~CPatchDlg() {
    picture.Unload();
    // The worker calls the manager; the manager's destructor then waits for its own threads.
    if (ThreadHandle() != INVALID_HANDLE_VALUE) WaitForSingleObject(ThreadHandle(), INFINITE);
    updateManager.reset();
    fontLayout.Detach();
}

UpdateOutcome CPatchDlg::Outcome() const {
    return updateManager ? updateManager->Outcome() : UpdateOutcome{};
}

INT_PTR CPatchDlg::DoModal() {
    return DialogBoxParamW(CodeModule::Handle(), MAKEINTRESOURCEW(IDD), m_parent,
                           &CPatchDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CPatchDlg::OnInitDialog() {
    const HWND window = m_hWnd.load();
    picture.SubclassDlgItem(IDC_PICTURE, window);
    fontLayout.Attach(CodeModule::Handle(), window, IDD, kLayoutPixelsPerInch);
    picture.Load(MAKEINTRESOURCEW(IDC_PICTURE), L"GIF");
    picture.Draw(1);

    updateManager.reset(m_createManager(updateUrl, installFolder));
    if (!updateManager) {
        End(2);
        return TRUE;
    }
    updateManager->AddTypeFilter(L"Common");
    updateManager->SetPromptOwner(window);
    Start();
    return TRUE;
}

unsigned CPatchDlg::Run() {
    try {
        const int pending = m_ended ? 0 : updateManager->CheckForUpdates();
        if (pending < 0) ShowError(updateManager->GetLastErrorText());
        // A download that does not start makes no notification: nothing else would end us.
        if (pending > 0 && StartDownloadUnlessEnded()) return 0;
    } catch (...) {
        ReportCaughtException(L"CPatchDlg::Run");
    }
    PostMessageW(m_hWnd.load(), WM_CLOSE, 0, 0);
    return 0;
}

bool CPatchDlg::StartDownloadUnlessEnded() {
    // Decided against a close: once the window has ended the loader is about to start, and no
    // download may begin after it.
    const std::lock_guard<std::mutex> guard(m_phaseLock);
    return !m_ended && updateManager->StartDownload(this, false) != 0;
}

void CPatchDlg::OnUpdateComplete() {
    {
        // Once the dialog has ended the loader is about to start: no files change under it.
        const std::lock_guard<std::mutex> guard(m_phaseLock);
        if (m_ended) return;
        m_installing = true;
    }
    try {
        updateManager->StartInstall(this);
        // StartInstall clears the stop of an earlier run: a close made meanwhile is kept.
        bool closed = false;
        {
            const std::lock_guard<std::mutex> guard(m_phaseLock);
            closed = m_closeWhileInstalling;
        }
        if (closed) updateManager->StopInstall();
    } catch (...) {
        ReportCaughtException(L"CPatchDlg::OnUpdateComplete");
        EndFromAnyThread(2);
    }
}

void CPatchDlg::OnUpdateError(const wchar_t* message) {
    ShowError(message);
    EndFromAnyThread(2);
}

void CPatchDlg::OnUpdateStopped() { EndFromAnyThread(2); }

void CPatchDlg::OnInstallComplete() { EndFromAnyThread(1); }

void CPatchDlg::OnInstallError(const wchar_t* message) {
    ShowError(message);
    EndFromAnyThread(2);
}

void CPatchDlg::OnInstallStopped() { EndFromAnyThread(2); }

void CPatchDlg::End(INT_PTR result) {
    {
        const std::lock_guard<std::mutex> guard(m_phaseLock);
        m_ended = true;
    }
    // Taken first: an action that throws must not run again from the handler's own End.
    const std::function<void()> action = std::exchange(m_endAction, nullptr);
    if (action) action();
    EndDialog(m_hWnd.load(), result);
}

void CPatchDlg::OnClose() {
    bool installing = false;
    {
        const std::lock_guard<std::mutex> guard(m_phaseLock);
        installing = m_installing;
        if (!installing) m_ended = true;
        m_closeWhileInstalling = installing;
    }
    if (installing) {
        // Staging stops at once; a commit that has begun finishes first. Its end ends us.
        updateManager->StopInstall();
        return;
    }
    // The check or the download stops at once, its transfers aborted, so the run ends soon
    // after the loader has started.
    if (updateManager) updateManager->StopDownload();
    // A recovery or a registration under way ends first (as a commit does): the window stays,
    // and the check's end, which starts nothing more now, closes it again.
    if (updateManager && updateManager->ChangingInstalledFiles()) return;
    End(1);
}

void CPatchDlg::EndFromAnyThread(int result) {
    PostMessageW(m_hWnd.load(), kEndMessage, result, 0);
}

void CPatchDlg::ShowError(const wchar_t* text) {
    if (m_ended) return;
    UserMessage::ShowMessageBox(m_hWnd.load(), text != nullptr ? text : L"",
                                CodeModule::ApplicationName(), MB_OK);
}

INT_PTR CALLBACK CPatchDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CPatchDlg*>(lParam)->m_hWnd = window;
    }
    auto* self = reinterpret_cast<CPatchDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    // Nothing may unwind through the platform's dialog code.
    try {
        return self->OnMessage(message, wParam);
    } catch (...) {
        ReportCaughtException(L"CPatchDlg::DialogProc");
        self->End(2);
        return TRUE;
    }
}

INT_PTR CPatchDlg::OnMessage(UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) OnOK();
            if (LOWORD(wParam) == IDCANCEL) OnCancel();
            return TRUE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case kEndMessage:
            End(static_cast<INT_PTR>(wParam));
            return TRUE;
        case WM_DESTROY:
            m_ended = true;
            return FALSE;
        default:
            return FALSE;
    }
}
