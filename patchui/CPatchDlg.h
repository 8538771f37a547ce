#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "patchui/CPictureEx.h"
#include "patchui/DialogFontLayout.h"
#include "support/bcl/system/process/thread/CThread.h"
#include "update/CInstallLiteNotify.h"
#include "update/CRudovuZadoNotify.h"
#include "update/IUpdateManagerLite.h"

// The small waiting window of the start operations. It owns one update run: it creates the
// update manager, asks it on its worker thread whether anything must be fetched, follows its
// notifications through download and installation, and ends itself. The user has no button
// to press; closing the window ends it with 1 during the check or the download (whose transfer
// is aborted), once the run has ended a recovery or registration under way, and once an
// installation has begun, when the installation has ended.
//
// Results: 1 after a completed installation, nothing to fetch, a failed check or a close;
// 2 after a failed or stopped download or installation.
class CPatchDlg : public CInstallLiteNotify,
                  public CRudovuZadoNotify,
                  public bcl::system::process::thread::CThread {
public:
    using ManagerFactory = std::function<IUpdateManagerLite*(const std::wstring& updateUrl,
                                                             const std::wstring& installFolder)>;

    static constexpr UINT IDD = 104;
    static constexpr int IDC_PICTURE = 201;

    // The caller decides where the run fetches from and installs to: the update URL (the
    // server's followed by "Patch") and the install folder.
    CPatchDlg(std::wstring updateUrl, std::wstring installFolder, HWND parent = nullptr,
              ManagerFactory createManager = &CreateUpdateManagerLite);
    // Waits for the worker thread, then deletes the manager, whose destructor waits for its
    // own threads: no thread of the run outlives the dialog.
    ~CPatchDlg() override;

    // Runs the dialog modally on the calling thread; the value given to the ending call, or -1
    // when the window cannot be made.
    INT_PTR DoModal();
    // Called once, on the dialog's thread, as soon as the dialog has decided to end: before the
    // platform takes the window down, which under Wine without a window manager can take
    // seconds.
    void SetEndAction(std::function<void()> action) { m_endAction = std::move(action); }
    HWND GetSafeHwnd() const { return m_hWnd.load(); }
    // How the run has ended so far (Failed when no manager could be made).
    UpdateOutcome Outcome() const;

protected:
    BOOL OnInitDialog();
    // Enter and Escape do not close the dialog.
    void OnOK() {}
    void OnCancel() {}

    unsigned Run() override;

    void OnUpdateComplete() override;
    void OnUpdateError(const wchar_t* message) override;
    void OnUpdateStopped() override;
    void OnInstallComplete() override;
    void OnInstallError(const wchar_t* message) override;
    void OnInstallStopped() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam);
    // On the dialog's own thread.
    void End(INT_PTR result);
    // Safe from any thread: the dialog's own thread makes the ending call.
    void EndFromAnyThread(int result);
    void ShowError(const wchar_t* text);
    // True when the download phase started.
    bool StartDownloadUnlessEnded();
    void OnClose();

    std::unique_ptr<IUpdateManagerLite> updateManager;
    std::wstring updateUrl;
    std::wstring installFolder;
    CPictureEx picture;
    DialogFontLayout fontLayout;

    HWND m_parent;
    ManagerFactory m_createManager;
    std::atomic<HWND> m_hWnd{nullptr};
    // Set when the dialog ends: later notifications neither show boxes nor start the install.
    std::atomic<bool> m_ended{false};
    // Whether the installation was asked for; decided against a close under m_phaseLock.
    bool m_installing = false;
    // A close that came while the installation was being started: it stops it once started.
    bool m_closeWhileInstalling = false;
    std::function<void()> m_endAction;
    std::mutex m_phaseLock;
};
