#pragma once

#include <windows.h>

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "download/IDownloadCallback.h"
#include "download/ITransferWatch.h"
#include "support/bcl/system/process/thread/CThread.h"
#include "update/CInstallLite.h"
#include "update/CRunLock.h"
#include "update/CUpdateEventQueue.h"
#include "update/DownloadRequest.h"
#include "update/DownloadedFileRecord.h"
#include "update/IUpdateManagerLite.h"
#include "update/ManifestEntry.h"
#include "update/UpdateEvent.h"
#include "verify/UpdateKeys.h"

// The update engine: fetches the manifest, queues the out-of-date files, downloads their
// packages on a download thread while its own thread (the CThread base, the event thread)
// delivers the reports, and installs them with its embedded installer.
class CUpdateManagerLite : public IUpdateManagerLite,
                           public IDownloadCallback,
                           public bcl::system::process::thread::CThread,
                           public ITransferWatch {
public:
    static constexpr unsigned kErrorLoadManifest = 0x10011001;
    static constexpr unsigned kErrorFetchManifest = 0x10021001;
    static constexpr unsigned kErrorExtractManifest = 0x10031001;
    static constexpr unsigned kErrorDownloadFile = 0x10071001;
    static constexpr unsigned kErrorExtractFile = 0x10081001;

    // With keys, only a release signed by one of them is used and only verified files are
    // installed and registered; without, updates are taken as they come.
    CUpdateManagerLite(const std::wstring& updateUrl, const std::wstring& installFolder,
                       std::vector<PublicKey> keys = BuiltInUpdateKeys());
    // Stops and waits for every thread the manager started; a running transfer is aborted.
    // No notification is made once it has begun.
    ~CUpdateManagerLite() override;

    // IUpdateManagerLite. StartDownload and StartInstall first wait for an earlier run of
    // their phase; called from inside that phase's own notifications they start nothing.
    int CheckForUpdates() override;
    int StartDownload(CRudovuZadoNotify* notify, bool installWhenDone) override;
    void StopDownload() override;
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

    virtual const std::list<DownloadedFileRecord>& BuildDownloadedFileList();
    // Fetches url into folder on the calling thread; extract unpacks it there afterwards.
    virtual bool DownloadFile(const wchar_t* url, const wchar_t* folder, bool extract);
    virtual bool RegisterFile(const wchar_t* path);
    virtual void DeleteDownloadedFiles();
    // Runs the check first when nothing is pending.
    virtual const std::list<ManifestEntry>& GetPendingEntries();

    // IDownloadCallback: called on the download thread and the component workers.
    void OnProgress(const wchar_t* name, int filePercent, int totalPercent, int index, int count,
                    const wchar_t* doneText, const wchar_t* totalText) override;
    void OnComplete() override;
    void OnError(const wchar_t* text) override;
    bool IsStopped() override;
    void OnStopped() override;
    void Stop() override;
    DownloadList* GetComponents() override;

    const std::wstring& InstallFolder() const { return installFolder; }
    bool IsInstallStopped() const { return stopInstall; }
    bool VerifiesUpdates() const { return !keys.empty(); }

    // How long a run waits for another run on the same install folder before it gives up
    // (and finds nothing to do).
    static constexpr DWORD kRunLockWaitMs = 5 * 60 * 1000;
    // The run's own folder (UpdateWorkPaths), ending with "\".
    const std::wstring& WorkFolder() const { return workFolder; }
    // The package file of each pending entry, in the same order.
    std::vector<std::wstring> PackagePaths() const;
    void SetInstallError(const std::wstring& text) { SetError(text, kErrorExtractFile); }
    void DiscardStagedFiles() const;
    // Every package part, once this run's are installed.
    void DiscardPackages() const;

protected:
    // The event loop: delivers every UpdateEvent until the phase's final one.
    unsigned Run() override;

private:
    bool FetchArchive(const std::wstring& name, const std::wstring& folder);
    // Takes the run lock and completes what an earlier run left; false when the lock cannot be
    // had (another run went on too long, or the run was stopped).
    bool BeginRun();
    void SetResumePosition(DownloadComponentInfo& request) const;
    // Parts that a resumed request filled: after a failed download they are not resumed again.
    void DropResumedParts() const;
    bool AcceptManifest(const std::wstring& package, const std::wstring& copy);
    // Whether an existing file may be registered again: always without keys, else only when
    // it is the file the signed manifest names.
    bool MayRegisterExisting(const ManifestEntry& entry, const std::wstring& target) const;
    bool QueueIfOutdated(const ManifestEntry& entry);
    // False when the event is the phase's last.
    bool DispatchEvent(UpdateEvent* event);
    // Deletes the manifest copies and their folder.
    void DeleteManifestCopies();
    // Stops the downloads and gives the receiver the phase's final report.
    void EndPhaseAfterFailure();
    void DownloadNow(DownloadComponentInfo& request);
    DownloadProxySettings Proxy() const;
    void SetError(std::wstring text, unsigned code);
    void SetErrorText(std::wstring text);

    bool StartEventThread();
    bool StartDownloadThread();
    // Waits for the download and event threads of an earlier phase.
    void WaitForDownloadPhase();
    void WaitForDownloadThread();
    void WaitForEventThread();
    void QuitEventThread();
    void OnTransferBegin(CHttpDownloader& transfer) override;
    void OnTransferEnd(CHttpDownloader& transfer) override;
    void AbortTransfer();

    std::wstring updateUrl;
    std::wstring installFolder;
    std::wstring workFolder;
    // The run's own folder for the manifest copies, made when the run begins.
    std::wstring manifestFolder;
    std::wstring manifestName = L"RudovuZado.ini";
    std::list<ManifestEntry> pendingEntries;
    DownloadList downloadList;
    std::atomic<CRudovuZadoNotify*> notify{nullptr};
    std::atomic<bool> stopDownload{false};
    bool installWhenDone = false;
    CInstallLite installer{this};
    std::list<DownloadedFileRecord> downloadedFiles;
    std::wstring lastErrorText;
    std::atomic<bool> stopInstall{false};
    unsigned lastErrorCode = 0;
    std::vector<std::wstring> typeFilter;
    std::wstring proxyServer;
    std::wstring proxyUserName;
    std::wstring proxyPassword;
    int accessType = 0;
    std::vector<PublicKey> keys;

    std::mutex errorLock;
    CUpdateEventQueue events{*this};
    HANDLE eventThreadReady = nullptr;
    HANDLE downloadThread = nullptr;
    // The transfer the download thread runs now, and whether new ones are aborted at once.
    std::mutex transferLock;
    CHttpDownloader* runningTransfer = nullptr;
    bool abortTransfers = false;
    // On the event thread: whether the phase's final report was handed to the receiver.
    bool finalDispatched = false;
    // Held from the check to the manager's end, which waits for every thread of the run first.
    CRunLock runLock;
};
