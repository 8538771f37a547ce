#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "download/CTransferAbort.h"
#include "update/CDownloadPhase.h"
#include "update/CInstallLite.h"
#include "update/CLastError.h"
#include "update/CRunWorkspace.h"
#include "update/CUpdateCheck.h"
#include "update/IUpdateManagerLite.h"
#include "update/UpdatePlan.h"
#include "verify/UpdateKeys.h"

// The update engine's front. A run goes through its parts in order: the workspace (run lock,
// recovery), the check (a plan of what to fetch), the download phase (packages side by side),
// the installer (staging and one commit). A stop reaches whichever of them works, also a
// transfer that blocks.
class CUpdateManagerLite : public IUpdateManagerLite {
public:
    static constexpr unsigned kErrorLoadManifest = CUpdateCheck::kErrorLoadManifest;
    static constexpr unsigned kErrorFetchManifest = CUpdateCheck::kErrorFetchManifest;
    static constexpr unsigned kErrorExtractManifest = CUpdateCheck::kErrorExtractManifest;
    static constexpr unsigned kErrorExtractFile = CInstallLite::kErrorInstall;
    // How long a run waits for another run on the same install folder before it gives up and
    // finds nothing to do: the installed version starts.
    static constexpr DWORD kRunLockWaitMs = CRunWorkspace::kWaitMs;
    // The build option (cmake/PelkoOptions.cmake).
    static constexpr int kParallelDownloads = PELKO_PARALLEL_DOWNLOADS;

    // With keys, only a release signed by one of them is used and only verified files are
    // installed and registered; without, updates are taken as they come.
    CUpdateManagerLite(const std::wstring& updateUrl, const std::wstring& installFolder,
                       std::vector<PublicKey> keys = BuiltInUpdateKeys());
    // Stops and waits for every thread the manager started; a running transfer is aborted.
    // No notification is made once it has begun.
    ~CUpdateManagerLite() override;

    // StartDownload and StartInstall first wait for an earlier run of their phase; called
    // from inside that phase's own notifications they start nothing.
    int CheckForUpdates() override;
    int StartDownload(CRudovuZadoNotify* notify, bool installWhenDone) override;
    void StopDownload() override;
    bool ChangingInstalledFiles() override;
    void SetPromptOwner(HWND window) override;
    // The run's proxy credentials prompt, in place of the one the manager made.
    void UseProxyPrompt(std::shared_ptr<CProxyPrompt> prompt);
    int StartInstall(CInstallLiteNotify* notify) override;
    void StopInstall() override;
    const wchar_t* GetLastErrorText() override;
    unsigned GetLastErrorCode() override;
    void AddTypeFilter(const wchar_t* type) override;
    void SetProxyServer(const wchar_t* text) override;
    void SetProxyUserName(const wchar_t* text) override;
    void SetProxyPassword(const wchar_t* text) override;
    void UsePreconfiguredProxy() override;
    void UseDirectConnection() override;
    void UseNamedProxy() override;
    UpdateOutcome Outcome() override;

    const std::wstring& WorkFolder() const { return workspace.WorkFolder(); }
    // The part file of each planned package, in manifest order.
    std::vector<std::wstring> PackagePaths() const;

private:
    void OnDownloadEnded(EventKind final);

    CheckSettings settings;
    CLastError errors;
    std::shared_ptr<CTransferAbort> abort = std::make_shared<CTransferAbort>();
    CInstalledFileChanges fileChanges{abort->Flag()};
    CRunWorkspace workspace;
    std::shared_ptr<const UpdatePlan> plan;
    bool installWhenDone = false;
    // How the check or the download ended; once the installation was asked for, it decides.
    std::atomic<UpdateResult> result{UpdateResult::Postponed};
    std::atomic<bool> installing{false};
    CInstallLite installer;
    CDownloadPhase downloads;
};
