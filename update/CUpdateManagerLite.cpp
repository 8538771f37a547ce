#include "update/CUpdateManagerLite.h"

#include <algorithm>

#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CInstalledRelease.h"

namespace {

using bcl::common::exception::ReportCaughtException;

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

IUpdateManagerLite* CreateUpdateManagerLite(const std::wstring& updateUrl,
                                            const std::wstring& installFolder) {
    return new CUpdateManagerLite(updateUrl, installFolder);
}

CUpdateManagerLite::CUpdateManagerLite(const std::wstring& url, const std::wstring& folder,
                                       std::vector<PublicKey> keys)
    : workspace(folder),
      installer(workspace, errors, !keys.empty()),
      downloads(abort, errors, kParallelDownloads) {
    settings.updateUrl = url;
    std::replace(settings.updateUrl.begin(), settings.updateUrl.end(), L'\\', L'/');
    settings.installFolder = folder;
    settings.keys = std::move(keys);
    settings.proxy.prompt = std::make_shared<CProxyPrompt>();
}

CUpdateManagerLite::~CUpdateManagerLite() {
    installer.DetachNotify();
    downloads.Detach();
    settings.proxy.prompt->Stop();
    downloads.StopNow();
    installer.Stop();
    downloads.Wait();
    installer.Wait();
}

int CUpdateManagerLite::CheckForUpdates() {
    try {
        plan.reset();
        installing = false;
        result = UpdateResult::Postponed;
        switch (workspace.Begin(abort->Flag(), fileChanges)) {
            case CRunWorkspace::BeginResult::Ready:
                break;
            case CRunWorkspace::BeginResult::Busy:
                DebugOutput::DebugFormat(
                    L"CUpdateManagerLite::CheckForUpdates, another update of %s went on for %u s: "
                    L"no update now, the installed version starts\n",
                    settings.installFolder.c_str(), static_cast<unsigned>(kRunLockWaitMs / 1000));
                return 0;
            case CRunWorkspace::BeginResult::Stopped:
                return 0;
        }
        CUpdateCheck check(settings,
                           {workspace.ManifestFolder(), workspace.PartsFolder(),
                            workspace.StagedFolder(), workspace.WorkFolder()},
                           abort, fileChanges, errors, workspace.LockKeeper());
        const int count = check.Run();
        result = check.Ended().value_or(UpdateResult::Postponed);
        if (check.Ended() == UpdateResult::Current && check.AcceptedSerial())
            CInstalledRelease(WorkFolder()).Record(*check.AcceptedSerial());
        workspace.DeleteManifestCopies();
        // A manifest that was read names the one release whose staged files may wait, and the
        // deltas whose parts may be resumed.
        if (check.Plan()) {
            workspace.DiscardStagedExcept(*check.Plan());
            workspace.DiscardDeltaPartsExcept(*check.Plan());
        }
        if (count <= 0) {
            // Nothing more to do in the run: no other launch waits while a box is shown.
            workspace.End();
            return count;
        }
        plan = check.Plan();
        return count;
    } catch (...) {
        // Out of memory half-way: what was planned is not a check's answer. As for a manifest
        // that cannot be had, the launch goes on with what is installed; the failure stays
        // readable.
        ReportCaughtException(L"CUpdateManagerLite::CheckForUpdates");
        errors.Set(L"failed to check for updates", CUpdateCheck::kErrorLoadManifest);
        result = UpdateResult::Failed;
        plan.reset();
        workspace.End();
        return 0;
    }
}

int CUpdateManagerLite::StartDownload(CRudovuZadoNotify* receiver, bool installAfter) {
    // From inside a notification the running loop would close the new phase's queue.
    if (downloads.OnEventThread()) return 0;
    try {
        downloads.Wait();
        installWhenDone = installAfter;
        abort->Reset();
        if (!plan && (CheckForUpdates(), !plan)) return 0;
        if (!workspace.Hold(abort->Flag())) return 0;
        return downloads.Start(
                   plan, receiver, [this](EventKind final) { OnDownloadEnded(final); },
                   workspace.LockKeeper())
                   ? 1
                   : 0;
    } catch (...) {
        ReportCaughtException(L"CUpdateManagerLite::StartDownload");
        return 0;
    }
}

void CUpdateManagerLite::OnDownloadEnded(EventKind final) {
    if (final != kEventComplete) {
        result = final == kEventStopped ? UpdateResult::Postponed : UpdateResult::Failed;
        // The parts stay for the next launch to resume, after a failure as after a stop; a
        // part that turns out damaged is dropped when it is staged. A transfer still blocked
        // keeps the lock until it ends.
        workspace.End();
        return;
    }
    workspace.DeleteManifestCopies();
    if (installWhenDone) StartInstall(nullptr);
}

std::vector<std::wstring> CUpdateManagerLite::PackagePaths() const {
    std::vector<std::wstring> paths;
    if (plan)
        for (const PlannedFile& file : plan->files) paths.push_back(file.part);
    return paths;
}

void CUpdateManagerLite::StopDownload() {
    settings.proxy.prompt->Stop();
    downloads.StopNow();
}

void CUpdateManagerLite::SetPromptOwner(HWND window) { settings.proxy.prompt->SetOwner(window); }

void CUpdateManagerLite::UseProxyPrompt(std::shared_ptr<CProxyPrompt> prompt) {
    if (prompt) settings.proxy.prompt = std::move(prompt);
}

bool CUpdateManagerLite::ChangingInstalledFiles() { return fileChanges.UnderWay(); }

int CUpdateManagerLite::StartInstall(CInstallLiteNotify* receiver) {
    try {
        if (!plan) return 0;
        // From inside an installation notification a second run would share the first's thread.
        if (receiver && installer.ThreadHandle() != INVALID_HANDLE_VALUE &&
            GetCurrentThreadId() == installer.ThreadId())
            return 0;
        if (receiver) installer.Wait();
        installing = true;
        installer.ClearStop();
        installer.SetPlan(plan);
        installer.StartThreaded(receiver);
    } catch (...) {
        ReportCaughtException(L"CUpdateManagerLite::StartInstall");
        installing = false;
        result = UpdateResult::Failed;
        // The phase still ends with one notification.
        errors.Set(L"failed to start the installation", CInstallLite::kErrorInstall);
        if (receiver) receiver->OnInstallError(L"failed to start the installation");
    }
    return 0;
}

void CUpdateManagerLite::StopInstall() { installer.Stop(); }

UpdateOutcome CUpdateManagerLite::Outcome() {
    UpdateOutcome outcome;
    outcome.result = installing ? installer.Ended() : result.load();
    if (!settings.keys.empty()) outcome.releaseSerial = CInstalledRelease(WorkFolder()).Read();
    return outcome;
}

const wchar_t* CUpdateManagerLite::GetLastErrorText() { return errors.Text(); }

unsigned CUpdateManagerLite::GetLastErrorCode() { return errors.Code(); }

void CUpdateManagerLite::AddTypeFilter(const wchar_t* type) {
    settings.typeFilter.push_back(TextOrEmpty(type));
}
void CUpdateManagerLite::SetProxyServer(const wchar_t* text) {
    settings.proxy.server = TextOrEmpty(text);
}
void CUpdateManagerLite::SetProxyUserName(const wchar_t* text) {
    settings.proxy.userName = TextOrEmpty(text);
}
void CUpdateManagerLite::SetProxyPassword(const wchar_t* text) {
    settings.proxy.password = TextOrEmpty(text);
}
void CUpdateManagerLite::UsePreconfiguredProxy() { settings.proxy.accessType = 0; }
void CUpdateManagerLite::UseDirectConnection() { settings.proxy.accessType = 1; }
void CUpdateManagerLite::UseNamedProxy() { settings.proxy.accessType = 2; }
