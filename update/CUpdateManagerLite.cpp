#include "update/CUpdateManagerLite.h"

#include <process.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <stdexcept>

#include "download/CDownloadComponent.h"
#include "download/DownloadThreadProc.h"
#include "framework/CException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CException.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CFileContent.h"
#include "update/CInstallCommit.h"
#include "update/ManifestPaths.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"
#include "update/RunFolders.h"
#include "update/TargetPath.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CReleaseSerial.h"
#include "verify/CSha256.h"
#include "verify/ManifestVerification.h"
#include "verify/VerifiedExtraction.h"

namespace {

using bcl::common::exception::ReportCaughtException;

constexpr size_t kErrorMessageChars = 260;

// A local copy of a fetched file: folder, "\" unless it ends with one, name.
std::wstring LocalCopy(const std::wstring& folder, const std::wstring& name) {
    return PathText::AppendBackslash(folder) + name;
}

std::wstring LocalPathOf(const DownloadComponentInfo& request) {
    return PathText::Join(request.strLocalFolder, request.strLocalFileName);
}

// The framework's error text, at most 259 characters.
std::wstring ErrorMessage(const CException& error) {
    wchar_t text[kErrorMessageChars] = L"";
    return error.GetErrorMessage(text, kErrorMessageChars) ? std::wstring(text) : std::wstring();
}

std::wstring ExtractFailure(const std::wstring& path, DWORD lastError) {
    wchar_t code[16];
    swprintf(code, 16, L"(0x%08x)", static_cast<unsigned>(lastError));
    return L"failed to extract file : " + path + code;
}

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

void CloseThreadHandle(HANDLE& thread) {
    if (thread) CloseHandle(thread);
    thread = nullptr;
}

}  // namespace

IUpdateManagerLite* CreateUpdateManagerLite(const std::wstring& updateUrl,
                                            const std::wstring& installFolder) {
    return new CUpdateManagerLite(updateUrl, installFolder);
}

CUpdateManagerLite::CUpdateManagerLite(const std::wstring& url, const std::wstring& folder,
                                       std::vector<PublicKey> updateKeys)
    : updateUrl(url),
      installFolder(folder),
      workFolder(UpdateWorkPaths::WorkFolder(folder)),
      keys(std::move(updateKeys)) {
    std::replace(updateUrl.begin(), updateUrl.end(), L'\\', L'/');
    eventThreadReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!eventThreadReady) throw std::bad_alloc();
}

CUpdateManagerLite::~CUpdateManagerLite() {
    notify = nullptr;
    installer.DetachNotify();
    stopDownload = true;
    stopInstall = true;
    events.Abandon();
    {
        std::lock_guard<std::mutex> guard(transferLock);
        abortTransfers = true;
    }
    AbortTransfer();
    WaitForDownloadThread();
    // The download thread's last report ends the loop; a loop without one ends on the quit.
    QuitEventThread();
    WaitForEventThread();
    installer.Wait();
    DeleteManifestCopies();
    CloseHandle(eventThreadReady);
}

int CUpdateManagerLite::CheckForUpdates() {
    try {
        for (const DownloadComponentInfo& request : downloadList)
            DeleteUrlCacheEntryW(request.strURL.c_str());
        stopDownload = false;
        pendingEntries.clear();
        downloadList.clear();
        downloadedFiles.clear();

        if (!BeginRun()) return 0;
        const ULONGLONG started = GetTickCount64();
        // Both attempts go to the run's own folder, never beside the host program.
        const std::wstring folder = manifestFolder;
        if (!FetchArchive(manifestName, folder) &&
            (stopDownload || !FetchArchive(manifestName, folder)))
            return 0;
        CFileContent manifest;
        const std::wstring copy = LocalCopy(folder, manifestName);
        const bool loaded = manifest.Load(copy.c_str());
        const ULONGLONG manifestBytes = FileSystem::FileSize(copy);
        DeleteManifestCopies();
        if (!loaded) {
            SetError(L"failed to load file : " + manifestName, kErrorLoadManifest);
            return -1;
        }
        int count = 0;
        for (const ManifestEntry& entry : manifest.Entries())
            if (QueueIfOutdated(entry)) ++count;
        DebugOutput::DebugFormat(
            L"CUpdateManagerLite::CheckForUpdates, manifest %s: %I64u bytes, %u entries, %d to "
            L"fetch, %I64u ms\n",
            updateUrl.c_str(), manifestBytes, static_cast<unsigned>(manifest.Entries().size()),
            count, GetTickCount64() - started);
        return count;
    } catch (...) {
        // Out of memory half-way: what was queued is not a check's answer.
        pendingEntries.clear();
        downloadList.clear();
        return 0;
    }
}

bool CUpdateManagerLite::FetchArchive(const std::wstring& name, const std::wstring& folder) {
    std::wstring url = updateUrl;
    if (url.empty() || url.back() != L'/') url += L'/';
    url += name + L".zip";
    DownloadComponentInfo request = MakeDownloadRequest(url, folder, name + L".zip", Proxy());
    request.nMaxBodyBytes = ManifestPaths::PackageBodyBound(ManifestPaths::kMaxManifestBytes);
    const std::wstring copy = LocalCopy(folder, name);
    const std::wstring package = copy + L".zip";
    DeleteFileW(copy.c_str());
    DeleteFileW(package.c_str());
    try {
        DownloadNow(request);
    } catch (CException* error) {
        SetError(L"failed to download file : " + url + ErrorMessage(*error), kErrorFetchManifest);
        error->Delete();
        return false;
    } catch (...) {
        SetError(L"failed to download file : " + url, kErrorFetchManifest);
        return false;
    }
    if (VerifiesUpdates()) return AcceptManifest(package, copy);
    try {
        // Only the manifest itself is written, under its own name, whatever the entry is called.
        if (!CInstallLite::ExtractPackageTo(package, copy, ManifestPaths::kMaxManifestBytes))
            throw std::runtime_error("manifest not extracted");
    } catch (CException* error) {
        const DWORD lastError = GetLastError();
        error->Delete();
        SetError(ExtractFailure(package, lastError), kErrorExtractManifest);
        return false;
    } catch (...) {
        SetError(ExtractFailure(package, GetLastError()), kErrorExtractManifest);
        return false;
    }
    return true;
}

bool CUpdateManagerLite::AcceptManifest(const std::wstring& package, const std::wstring& copy) {
    const auto refusal =
        ExtractVerifiedManifest(package, copy, keys, CReleaseSerial(installFolder), SecondsNow());
    const DWORD lastError = GetLastError();
    if (!refusal) {
        DeleteFileW(package.c_str());
        return true;
    }
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, manifest refused: " + package +
                           L": " + *refusal + L"\n");
    // As for a package that cannot be unpacked: the check goes on as if there were no manifest.
    SetError(ExtractFailure(package, lastError), kErrorExtractManifest);
    return false;
}

bool CUpdateManagerLite::MayRegisterExisting(const ManifestEntry& entry,
                                             const std::wstring& target) const {
    // Only an existing file not checked by date is registered again (the caller has judged
    // its type and place).
    if (!VerifiesUpdates() || entry.checkDate ||
        GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    Sha256Digest digest{};
    uint64_t size = 0;
    if (expected && CSha256::OfFile(target, digest, size) && size == expected->size &&
        digest == expected->sha256)
        return true;
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, not registered again: " + target +
                           L" is not the file the signed manifest names\n");
    return false;
}

void CUpdateManagerLite::DownloadNow(DownloadComponentInfo& request) {
    CDownloadComponent component(nullptr, &request, 1, 1);
    // Watched, so that a stop aborts the check's transfer too.
    OnTransferBegin(component);
    component.Start(TRUE);
    OnTransferEnd(component);
    DeleteUrlCacheEntryW(request.strURL.c_str());
}

bool CUpdateManagerLite::BeginRun() {
    if (runLock.Held()) return true;
    CreateDirectoryW(workFolder.c_str(), nullptr);
    SetFileAttributesW(workFolder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!runLock.Acquire(UpdateWorkPaths::LockFile(workFolder), kRunLockWaitMs, stopDownload))
        return false;
    manifestFolder = RunFolders::MakeManifestFolder(workFolder);
    // Before anything else: the files of an interrupted commit all new, or all old.
    CInstallCommit(UpdateWorkPaths::JournalFile(workFolder)).Recover();
    DiscardStagedFiles();
    return true;
}

void CUpdateManagerLite::SetResumePosition(DownloadComponentInfo& request) const {
    const uint64_t size = FileSystem::FileSize(LocalPathOf(request));
    if (size == 0) return;
    // One byte before the end: a part that is already whole is then answered with its last
    // byte, not with a refusal of the range.
    request.nStartPos = size - 1;
    DebugOutput::DebugFormat(L"CUpdateManagerLite, resuming %s at byte %I64u\n",
                             request.strDisplayName.c_str(), request.nStartPos);
}

void CUpdateManagerLite::DropResumedParts() const {
    for (const DownloadComponentInfo& request : downloadList)
        if (request.nStartPos > 0) DeleteFileW(LocalPathOf(request).c_str());
}

std::vector<std::wstring> CUpdateManagerLite::PackagePaths() const {
    std::vector<std::wstring> paths;
    for (const DownloadComponentInfo& request : downloadList) paths.push_back(LocalPathOf(request));
    return paths;
}

void CUpdateManagerLite::DiscardStagedFiles() const {
    RunFolders::EmptyFolder(UpdateWorkPaths::StagedFolder(workFolder));
}

void CUpdateManagerLite::DiscardPackages() const {
    // Parts of other releases too: once the install is current, none of them can be resumed.
    RunFolders::EmptyFolder(UpdateWorkPaths::PartsFolder(workFolder));
}

bool CUpdateManagerLite::QueueIfOutdated(const ManifestEntry& entry) {
    const ULONGLONG releaseTime = ReleaseTimeOf(entry.modifyDate);
    if (!ManifestPaths::TypeAccepted(typeFilter, entry.type)) return false;
    const std::optional<std::wstring> contained =
        ContainedTargetPath(entry.folderType, entry.targetDir, entry.name, installFolder);
    if (!contained) return false;
    const std::wstring& target = *contained;
    // A file already in place is registered again only where this product installs, and
    // under signed updates only when it is the file the manifest names.
    const BOOL reRegister = entry.registerDll && IsInsideFolder(installFolder, target) &&
                            MayRegisterExisting(entry, target);
    if (!NeedsUpdate(target, releaseTime, reRegister, entry.checkDate, entry.type, typeFilter))
        return false;
    DownloadComponentInfo request = BuildEntryRequest(entry, target, updateUrl, Proxy());
    // Packages go to the run's folder, named after the release, never beside the target.
    request.strLocalFolder = UpdateWorkPaths::PartsFolder(workFolder);
    request.strLocalFileName = UpdateWorkPaths::PartName(target, entry.modifyDate, entry.fileSize);
    SetResumePosition(request);
    pendingEntries.push_back(entry);
    downloadList.push_back(std::move(request));
    return true;
}

int CUpdateManagerLite::StartDownload(CRudovuZadoNotify* receiver, bool installAfter) {
    // From inside a notification the running loop would close the new phase's queue.
    if (ThreadHandle() != INVALID_HANDLE_VALUE && GetCurrentThreadId() == ThreadId()) return 0;
    try {
        WaitForDownloadPhase();
        notify = receiver;
        installWhenDone = installAfter;
        stopDownload = false;
        if (pendingEntries.empty() && (CheckForUpdates(), pendingEntries.empty())) return 0;
        {
            std::lock_guard<std::mutex> guard(transferLock);
            abortTransfers = false;
        }
        if (!StartEventThread()) return 0;
        if (!StartDownloadThread()) {
            // The loop waits for a report that will never come.
            QuitEventThread();
            WaitForEventThread();
            return 0;
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

bool CUpdateManagerLite::StartEventThread() {
    ResetEvent(eventThreadReady);
    Close();
    try {
        Start();
    } catch (const bcl::common::exception::CException&) {
        return false;
    }
    // Nothing may be posted before the loop's queue exists; a loop that ended at once
    // (it cannot throw out of Run) signals by its handle.
    const HANDLE waits[] = {eventThreadReady, ThreadHandle()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return true;
}

bool CUpdateManagerLite::StartDownloadThread() {
    const uintptr_t thread = _beginthreadex(nullptr, 0, &DownloadThreadProc,
                                            static_cast<IDownloadCallback*>(this), 0, nullptr);
    downloadThread = reinterpret_cast<HANDLE>(thread);
    return downloadThread != nullptr;
}

void CUpdateManagerLite::WaitForDownloadPhase() {
    WaitForDownloadThread();
    WaitForEventThread();
}

void CUpdateManagerLite::WaitForDownloadThread() {
    if (!downloadThread) return;
    WaitForSingleObject(downloadThread, INFINITE);
    CloseThreadHandle(downloadThread);
}

void CUpdateManagerLite::QuitEventThread() {
    // Only while it runs: the number of an ended thread may be given to another one.
    const HANDLE thread = ThreadHandle();
    if (thread != INVALID_HANDLE_VALUE && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
        PostToThread(WM_QUIT, 0, 0);
}

void CUpdateManagerLite::WaitForEventThread() {
    const HANDLE thread = ThreadHandle();
    if (thread == INVALID_HANDLE_VALUE || GetCurrentThreadId() == ThreadId()) return;
    WaitForSingleObject(thread, INFINITE);
}

unsigned CUpdateManagerLite::Run() {
    finalDispatched = false;
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    events.Open();
    SetEvent(eventThreadReady);
    try {
        for (;;) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) break;
            if (message.hwnd == nullptr && message.message == CUpdateEventQueue::kEventMessage) {
                if (!DispatchEvent(reinterpret_cast<UpdateEvent*>(message.wParam))) break;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    } catch (...) {
        // A notification that throws ends the loop; the phase still ends with one final
        // report, unless that one threw.
        ReportCaughtException(L"CUpdateManagerLite::Run");
        if (!finalDispatched) EndPhaseAfterFailure();
    }
    events.Close();
    return 0;
}

void CUpdateManagerLite::EndPhaseAfterFailure() {
    stopDownload = true;
    AbortTransfer();
    const wchar_t kText[] = L"failed to download the update";
    SetErrorText(kText);
    try {
        if (CRudovuZadoNotify* receiver = notify) receiver->OnUpdateError(kText);
    } catch (...) {
        ReportCaughtException(L"CUpdateManagerLite::Run, final report");
    }
}

bool CUpdateManagerLite::DispatchEvent(UpdateEvent* record) {
    std::unique_ptr<UpdateEvent> event(record);
    if (!event) return true;
    CRudovuZadoNotify* receiver = notify;
    // From here on a throwing receiver has had its final report.
    finalDispatched = event->kind != kEventProgress;
    switch (event->kind) {
        case kEventProgress:
            events.TakeProgress(event.get());
            if (receiver)
                receiver->OnUpdateProgress(event->filePath.c_str(), event->filePercent,
                                           event->overallPercent, event->fileIndex,
                                           event->fileCount, event->receivedText.c_str(),
                                           event->totalText.c_str());
            return true;
        case kEventError:
            DropResumedParts();
            if (receiver) receiver->OnUpdateError(event->message.c_str());
            return false;
        case kEventStopped:
            if (receiver) receiver->OnUpdateStopped();
            return false;
        case kEventComplete:
            event.reset();
            DeleteManifestCopies();
            if (installWhenDone) StartInstall(nullptr);
            if ((receiver = notify)) receiver->OnUpdateComplete();
            return false;
    }
    return true;
}

void CUpdateManagerLite::DeleteManifestCopies() { RunFolders::EmptyFolder(manifestFolder); }

void CUpdateManagerLite::StopDownload() {
    stopDownload = true;
    AbortTransfer();
}

int CUpdateManagerLite::StartInstall(CInstallLiteNotify* receiver) {
    try {
        if (pendingEntries.empty()) return 0;
        // From inside an installation notification a second run would share the first's thread.
        if (receiver && installer.ThreadHandle() != INVALID_HANDLE_VALUE &&
            GetCurrentThreadId() == installer.ThreadId())
            return 0;
        stopInstall = false;
        if (receiver) installer.Wait();
        installer.StartThreaded(receiver);
    } catch (...) {
        // The phase still ends with one notification.
        SetInstallError(L"failed to start the installation");
        if (receiver) receiver->OnInstallError(L"failed to start the installation");
    }
    return 0;
}

void CUpdateManagerLite::StopInstall() { stopInstall = true; }

const wchar_t* CUpdateManagerLite::GetLastErrorText() {
    std::lock_guard<std::mutex> guard(errorLock);
    return lastErrorText.c_str();
}

unsigned CUpdateManagerLite::GetLastErrorCode() {
    std::lock_guard<std::mutex> guard(errorLock);
    return lastErrorCode;
}

void CUpdateManagerLite::SetError(std::wstring text, unsigned code) {
    DebugOutput::DebugFormat(L"CUpdateManagerLite, error 0x%08x: %s\n", code, text.c_str());
    std::lock_guard<std::mutex> guard(errorLock);
    lastErrorText = std::move(text);
    lastErrorCode = code;
}

void CUpdateManagerLite::SetErrorText(std::wstring text) {
    DebugOutput::DebugFormat(L"CUpdateManagerLite, download error: %s\n", text.c_str());
    std::lock_guard<std::mutex> guard(errorLock);
    lastErrorText = std::move(text);
}

void CUpdateManagerLite::AddTypeFilter(const wchar_t* type) {
    typeFilter.push_back(TextOrEmpty(type));
}
void CUpdateManagerLite::SetProxyServer(const wchar_t* text) { proxyServer = TextOrEmpty(text); }
void CUpdateManagerLite::SetProxyUserName(const wchar_t* text) {
    proxyUserName = TextOrEmpty(text);
}
void CUpdateManagerLite::SetProxyPassword(const wchar_t* text) {
    proxyPassword = TextOrEmpty(text);
}
void CUpdateManagerLite::UsePreconfiguredProxy() { accessType = 0; }
void CUpdateManagerLite::UseDirectConnection() { accessType = 1; }
void CUpdateManagerLite::UseNamedProxy() { accessType = 2; }

DownloadProxySettings CUpdateManagerLite::Proxy() const {
    return DownloadProxySettings{proxyServer, proxyUserName, proxyPassword, accessType};
}

const std::list<DownloadedFileRecord>& CUpdateManagerLite::BuildDownloadedFileList() {
    downloadedFiles.clear();
    for (const DownloadComponentInfo& request : downloadList)
        downloadedFiles.push_back(MakeDownloadedFileRecord(request));
    return downloadedFiles;
}

bool CUpdateManagerLite::DownloadFile(const wchar_t* url, const wchar_t* folder, bool extract) {
    if (!url || !folder) return false;
    const std::wstring name = PathText::FileNamePart(url);
    const std::wstring path = LocalCopy(folder, name);
    try {
        DownloadComponentInfo request = MakeDownloadRequest(url, folder, name, Proxy());
        DownloadNow(request);
    } catch (CException* error) {
        SetError(L"failed to download file : " + std::wstring(url) + ErrorMessage(*error),
                 kErrorDownloadFile);
        error->Delete();
        return false;
    } catch (...) {
        SetError(L"failed to download file : " + std::wstring(url), kErrorDownloadFile);
        return false;
    }
    if (extract && VerifiesUpdates()) {
        DebugOutput::DebugLine(L"CUpdateManagerLite::DownloadFile, not extracted: " + path +
                               L" has no signed manifest entry\n");
        SetError(L"failed to extract file : " + path, kErrorExtractFile);
        return false;
    }
    try {
        if (extract) (void)CInstallLite::ExtractPackage(path);
    } catch (CException* error) {
        error->Delete();
        SetError(L"failed to extract file : " + path, kErrorExtractFile);
        return false;
    } catch (...) {
        SetError(L"failed to extract file : " + path, kErrorExtractFile);
        return false;
    }
    return true;
}

bool CUpdateManagerLite::RegisterFile(const wchar_t* path) { return installer.RegisterIfDll(path); }

void CUpdateManagerLite::DeleteDownloadedFiles() {
    for (const DownloadedFileRecord& record : BuildDownloadedFileList())
        DeleteFileW((std::wstring(record.localFolder) + L"\\" + record.localFileName).c_str());
}

const std::list<ManifestEntry>& CUpdateManagerLite::GetPendingEntries() {
    if (pendingEntries.empty()) CheckForUpdates();
    return pendingEntries;
}

void CUpdateManagerLite::OnProgress(const wchar_t* name, int filePercent, int totalPercent,
                                    int index, int count, const wchar_t* doneText,
                                    const wchar_t* totalText) {
    events.PostProgress(
        ProgressFigures{name, filePercent, totalPercent, index, count, doneText, totalText});
}

void CUpdateManagerLite::OnComplete() {
    for (const DownloadComponentInfo& request : downloadList)
        DeleteUrlCacheEntryW(request.strURL.c_str());
    auto event = std::make_unique<UpdateEvent>();
    event->kind = kEventComplete;
    events.PostFinal(std::move(event));
}

void CUpdateManagerLite::OnError(const wchar_t* text) {
    SetErrorText(TextOrEmpty(text));
    auto event = std::make_unique<UpdateEvent>();
    event->kind = kEventError;
    event->message = TextOrEmpty(text);
    events.PostFinal(std::move(event));
}

bool CUpdateManagerLite::IsStopped() { return stopDownload; }

void CUpdateManagerLite::OnStopped() {
    auto event = std::make_unique<UpdateEvent>();
    event->kind = kEventStopped;
    events.PostFinal(std::move(event));
}

void CUpdateManagerLite::Stop() { stopDownload = true; }

DownloadList* CUpdateManagerLite::GetComponents() { return &downloadList; }

void CUpdateManagerLite::OnTransferBegin(CHttpDownloader& transfer) {
    std::lock_guard<std::mutex> guard(transferLock);
    runningTransfer = &transfer;
    if (abortTransfers || stopDownload) transfer.Abort();
}

void CUpdateManagerLite::OnTransferEnd(CHttpDownloader& transfer) {
    std::lock_guard<std::mutex> guard(transferLock);
    if (runningTransfer == &transfer) runningTransfer = nullptr;
}

void CUpdateManagerLite::AbortTransfer() {
    std::lock_guard<std::mutex> guard(transferLock);
    if (runningTransfer) runningTransfer->Abort();
}
