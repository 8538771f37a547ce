#include "update/CRunWorkspace.h"

#include <set>

#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "update/CInstallCommit.h"
#include "update/DeltaPlan.h"
#include "update/RunFolders.h"
#include "update/UpdateWorkPaths.h"

CRunWorkspace::CRunWorkspace(const std::wstring& folder)
    : installFolder(folder), workFolder(UpdateWorkPaths::WorkFolder(folder)) {}

CRunWorkspace::BeginResult CRunWorkspace::Begin(const std::atomic<bool>& cancel,
                                                CInstalledFileChanges& changes) {
    if (Held()) return BeginResult::Ready;
    if (cancel) return BeginResult::Stopped;
    // Private: what another user could open here (the lock, the journal) would hold back
    // every update; in a prepared folder, shared by its members. Its files inherit the list.
    const FolderSecurity::RecordDescriptor list = FolderSecurity::RecordDescriptorIn(installFolder);
    FolderSecurity::CreateFolder(workFolder, list.get());
    SetFileAttributesW(workFolder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!Hold(cancel)) return cancel ? BeginResult::Stopped : BeginResult::Busy;
    {
        std::lock_guard<std::mutex> guard(lock);
        manifestFolder = RunFolders::MakeManifestFolder(workFolder);
    }
    if (!Recover(changes)) {
        End();
        return BeginResult::Stopped;
    }
    return BeginResult::Ready;
}

bool CRunWorkspace::Hold(const std::atomic<bool>& cancel) {
    // Waited for outside the lock: End may come from another thread meanwhile.
    CRunLock waiting;
    if (!Held() && !waiting.Acquire(UpdateWorkPaths::LockFile(workFolder), kWaitMs, cancel))
        return false;
    std::lock_guard<std::mutex> guard(lock);
    if (waiting.Held()) {
        runLock = std::make_shared<CRunLock>();
        runLock->TakeFrom(waiting);
    }
    return true;
}

bool CRunWorkspace::Recover(CInstalledFileChanges& changes) {
    const std::wstring journal = JournalFile();
    if (GetFileAttributesW(journal.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    // A closed window's run changes nothing more in the install folder; a window closed from
    // now on waits until the recovery has ended.
    const CInstalledFileChanges::Scope change(changes);
    if (!change.Entered()) return false;
    // Before anything else: the files of an interrupted commit all new, or all old. Either
    // way its staged set is spent, and a completed one leaves nothing of its release.
    CInstallCommit commit(journal);
    // What a journal that cannot be read names is unknown: nothing is discarded, the run stops.
    if (!commit.Recover() && commit.Unreadable()) return false;
    DiscardCommitted();
    return true;
}

void CRunWorkspace::End() {
    std::lock_guard<std::mutex> guard(lock);
    RunFolders::EmptyFolder(manifestFolder);
    runLock.reset();
}

bool CRunWorkspace::Held() const {
    std::lock_guard<std::mutex> guard(lock);
    return runLock && runLock->Held();
}

std::shared_ptr<void> CRunWorkspace::LockKeeper() const {
    std::lock_guard<std::mutex> guard(lock);
    return runLock;
}

std::wstring CRunWorkspace::ManifestFolder() const {
    std::lock_guard<std::mutex> guard(lock);
    return manifestFolder;
}

std::wstring CRunWorkspace::PartsFolder() const {
    return UpdateWorkPaths::PartsFolder(workFolder);
}

std::wstring CRunWorkspace::StagedFolder() const {
    return UpdateWorkPaths::StagedFolder(workFolder);
}

std::wstring CRunWorkspace::JournalFile() const {
    return UpdateWorkPaths::JournalFile(workFolder);
}

void CRunWorkspace::DeleteManifestCopies() {
    std::lock_guard<std::mutex> guard(lock);
    RunFolders::EmptyFolder(manifestFolder);
}

void CRunWorkspace::DiscardStagedExcept(const UpdatePlan& plan) const {
    std::set<std::wstring> kept;
    for (const PlannedFile& file : plan.files) kept.insert(PathText::FileNamePart(file.staged));
    RunFolders::RemoveFilesExcept(StagedFolder(), kept);
}

void CRunWorkspace::DiscardDeltaPartsExcept(const UpdatePlan& plan) const {
    std::set<std::wstring> kept;
    for (const PlannedFile& file : plan.files)
        if (file.delta) kept.insert(PathText::FileNamePart(DeltaPlan::DeltaPart(file)));
    RunFolders::RemoveFilesExcept(PartsFolder(), kept, UpdateWorkPaths::IsDeltaPartName);
}

void CRunWorkspace::DiscardStaged() const { RunFolders::EmptyFolder(StagedFolder()); }

void CRunWorkspace::DiscardCommitted() const {
    RunFolders::EmptyFolder(StagedFolder());
    RunFolders::EmptyFolder(PartsFolder());
}
