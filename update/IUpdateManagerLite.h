#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "update/CInstallLiteNotify.h"
#include "update/CRudovuZadoNotify.h"
#include "update/UpdateOutcome.h"

// The update engine as its caller sees it: fetch the manifest, download the out-of-date
// packages on background threads, install them. Destroy it through the virtual destructor;
// the destructor stops and waits for every thread the manager started.
class IUpdateManagerLite {
public:
    virtual ~IUpdateManagerLite() = default;

    // -1 manifest unreadable, 0 nothing to do or manifest unreachable, n > 0 packages to fetch.
    virtual int CheckForUpdates() = 0;
    // 1 downloads started, 0 nothing to download (no notification is made then).
    virtual int StartDownload(CRudovuZadoNotify* notify, bool installWhenDone) = 0;
    virtual void StopDownload() = 0;
    // Whether the run is changing installed files outside a commit (completing an interrupted
    // commit, registering DLLs already in place). Asked after StopDownload, false means none
    // will be changed before StartInstall.
    virtual bool ChangingInstalledFiles() = 0;
    // Always 0. Without a notify object the installation runs at once on the calling thread.
    virtual int StartInstall(CInstallLiteNotify* notify) = 0;
    virtual void StopInstall() = 0;
    // Valid until the text changes.
    virtual const wchar_t* GetLastErrorText() = 0;
    virtual unsigned GetLastErrorCode() = 0;
    virtual void AddTypeFilter(const wchar_t* type) = 0;
    virtual void SetProxyServer(const wchar_t* text) = 0;
    virtual void SetProxyUserName(const wchar_t* text) = 0;
    virtual void SetProxyPassword(const wchar_t* text) = 0;
    virtual void UsePreconfiguredProxy() = 0;
    virtual void UseDirectConnection() = 0;
    virtual void UseNamedProxy() = 0;
    // The window that owns the run's prompts (a proxy's request for credentials).
    virtual void SetPromptOwner(HWND) {}
    // How the run has ended so far: Postponed while files are still on their way.
    virtual UpdateOutcome Outcome() { return UpdateOutcome{}; }
};

// A new manager for the update URL ("\" become "/") and the folder of FolderType 0.
// Throws std::bad_alloc when memory cannot be had.
IUpdateManagerLite* CreateUpdateManagerLite(const std::wstring& updateUrl,
                                            const std::wstring& installFolder);
