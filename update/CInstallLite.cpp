#include "update/CInstallLite.h"

#include <cwchar>

#include "framework/CException.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CInstallCommit.h"
#include "update/CInstalledRelease.h"
#include "update/CPostponedCommitRecord.h"
#include "update/DeltaChoice.h"
#include "update/DeltaPlan.h"
#include "update/ManifestPaths.h"
#include "update/ReleaseTime.h"
#include "update/ReplaceableTarget.h"
#include "update/UpdateWorkPaths.h"
#include "verify/VerifiedExtraction.h"
#include "zip/CZipArchive.h"

namespace {

using bcl::common::exception::ReportCaughtException;
using DebugOutput::DebugFormat;

constexpr unsigned kExtractBufferSize = 65536;

std::wstring ExtractFailure(const std::wstring& path, DWORD lastError) {
    wchar_t code[16];
    swprintf(code, 16, L"(0x%08x)", static_cast<unsigned>(lastError));
    return L"failed to extract file : " + path + code;
}

// Entry 0 of the unsigned manifest's package into the staged file, or the failure's text.
std::wstring StageOne(const PlannedFile& file) {
    // The manifest's FileSize bounds the file too, as it bounds the package's body.
    const uint64_t bound = ManifestPaths::FileBound(file.entry.fileSize, false);
    const uint64_t largest = bound > 0 ? bound : UINT64_MAX;
    try {
        if (CInstallLite::ExtractPackageTo(file.part, file.staged, largest)) return std::wstring();
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
    return ExtractFailure(file.ShownPackage(), GetLastError());
}

// The same for a signed release: the file is kept only when it is the one the signed manifest
// names (entry name, size and SHA-256, checked while it is written).
std::wstring StageVerified(const PlannedFile& file) {
    const ManifestEntry& entry = file.entry;
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    std::optional<std::wstring> refusal = L"the signed manifest gives it no FileSize and Sha256";
    if (expected) {
        refusal = CZipArchive::EnsureFolder(PathText::FolderPart(file.staged))
                      ? ExtractVerified(file.part, file.staged, *expected)
                      : std::optional<std::wstring>(L"no staging folder");
    }
    if (!refusal) return std::wstring();
    DebugOutput::DebugLine(L"CInstallLite::Install, package refused: " + file.ShownPackage() +
                           L" (" + file.part + L"): " + *refusal + L"\n");
    return L"failed to verify file : " + file.ShownPackage() + L" (" + *refusal + L")";
}

// A place for the target's old file that is free: an old file of an earlier commit that a
// running program still holds cannot be deleted, and must not stop this commit.
std::wstring FreeAsidePath(const std::wstring& target) {
    constexpr unsigned kAttempts = 10;
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
        const std::wstring aside = UpdateWorkPaths::AsidePath(target, attempt);
        SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileW(aside.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return aside;
    }
    return UpdateWorkPaths::AsidePath(target);
}

}  // namespace

CInstallLite::CInstallLite(CRunWorkspace& workspace, CLastError& errors, bool verifiesUpdates)
    : workspace(workspace), errors(errors), verifiesUpdates(verifiesUpdates) {}

void CInstallLite::SetPlan(std::shared_ptr<const UpdatePlan> newPlan) { plan = std::move(newPlan); }

void CInstallLite::StartThreaded(CInstallLiteNotify* receiver) {
    notify = receiver;
    if (!receiver) {
        Install();
        return;
    }
    Close();
    try {
        Start();
    } catch (...) {
        ReportCaughtException(L"CInstallLite::StartThreaded");
        ReportError(L"failed to start the installation");
    }
}

unsigned CInstallLite::Run() {
    try {
        Install();
    } catch (...) {
        ReportCaughtException(L"CInstallLite::Run");
        ReportError(L"failed to install the update");
    }
    return 0;
}

void CInstallLite::Wait() const {
    const HANDLE thread = ThreadHandle();
    if (thread == INVALID_HANDLE_VALUE || GetCurrentThreadId() == ThreadId()) return;
    WaitForSingleObject(thread, INFINITE);
}

bool CInstallLite::Stopped() {
    if (!stop) return false;
    ReportStopped();
    return true;
}

void CInstallLite::ReportStopped() {
    workspace.End();
    ended = UpdateResult::Postponed;
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallStopped();
}

void CInstallLite::ReportError(const std::wstring& text) {
    // No other launch waits while the user reads the box.
    workspace.End();
    errors.Set(text, kErrorInstall);
    ended = UpdateResult::Failed;
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallError(text.c_str());
}

void CInstallLite::Install() {
    ended = UpdateResult::Postponed;
    if (Stopped()) return;
    if (!plan || !workspace.Hold(stop)) {
        DebugFormat(L"CInstallLite::Install, the run lock could not be had: nothing installed\n");
        ReportStopped();
        return;
    }
    const std::vector<std::wstring> installedNames = InstalledNames();
    bool stopped = false;
    const std::wstring failure = Stage(stopped);
    if (!failure.empty()) {
        DebugFormat(L"CInstallLite::Install, not installed: %s\n", failure.c_str());
        // Nothing of the run is left when the receiver hears of the end.
        workspace.DiscardStaged();
        ReportError(failure);
        return;
    }
    // The staged files are verified: a later run commits them without fetching again.
    if (stopped || stop) {
        ReportStopped();
        return;
    }
    const std::vector<JournalEntry> commitList = CommitList();
    if (const auto busy = FirstBusyTarget(commitList)) {
        DebugFormat(
            L"CInstallLite::Install, postponed: %s is in use; the staged update is installed at "
            L"a later start, the installed version runs now\n",
            busy->c_str());
        if (PostponedRecord().CountLaunch()) TellBusyTarget(*busy);
        ReportStopped();
        return;
    }
    PostponedRecord().Clear();
    Commit(commitList, installedNames);
}

CPostponedCommitRecord CInstallLite::PostponedRecord() const {
    return CPostponedCommitRecord(UpdateWorkPaths::PostponedFile(workspace.WorkFolder()));
}

void CInstallLite::TellBusyTarget(const std::wstring& target) {
    UserMessage::ShowMessageBox(
        nullptr,
        L"An update of this program has been waiting for several starts, because another "
        L"program keeps this file open:\n\n" +
            target +
            L"\n\nClose the programs that use it (or restart Windows); the update is installed "
            L"at the next start.",
        L"Update postponed", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

void CInstallLite::Commit(const std::vector<JournalEntry>& commitList,
                          const std::vector<std::wstring>& installedNames) {
    const int total = static_cast<int>(commitList.size());
    CInstallCommit commit(workspace.JournalFile());
    const bool committed = commit.Run(commitList, [&](size_t index) {
        DebugFormat(L"CInstallLite::Install, checked and installed %s\n",
                    installedNames[index].c_str());
        // Named as the package always was: the target followed by ".zip".
        const std::wstring package = commitList[index].target + L".zip";
        if (CInstallLiteNotify* receiver = notify)
            receiver->OnInstallProgress(package.c_str(), static_cast<int>(index) + 1, total);
    });
    if (!committed) {
        workspace.DiscardStaged();
        DebugFormat(L"CInstallLite::Install, not installed: %s\n", commit.ErrorText().c_str());
        ReportError(commit.ErrorText());
        return;
    }
    // The commit has registered what it placed: nothing of the release is left to do.
    workspace.DiscardCommitted();
    if (plan->releaseSerial) CInstalledRelease(workspace.WorkFolder()).Record(*plan->releaseSerial);
    workspace.End();
    ended = UpdateResult::Updated;
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallComplete();
}

std::wstring CInstallLite::Stage(bool& stopped) {
    for (const PlannedFile& file : plan->files) {
        if (stop) {
            stopped = true;
            return std::wstring();
        }
        if (!file.alreadyStaged && !DeltaPlan::StagedFromDelta(file)) {
            const std::wstring failure = verifiesUpdates ? StageVerified(file) : StageOne(file);
            // A damaged part must not be resumed by the next run; a staged one is not needed
            // again.
            DeleteFileW(file.part.c_str());
            if (!failure.empty()) return failure;
        }
        // One time for a signed file, from a package or a delta alike: the signed date, never
        // a package entry's unsigned one.
        if (verifiesUpdates && !StampReleaseTime(file.staged, file.entry.modifyDate))
            DebugFormat(L"CInstallLite::Install, %s keeps its own time: %s names no time\n",
                        file.target.c_str(), file.entry.modifyDate.c_str());
    }
    return std::wstring();
}

namespace {

// The SHA-256 the signed manifest gives an entry, as the journal writes it (its staged file was
// verified against it, and the commit checks it again); empty when there is none to take.
std::wstring SignedDigest(const PlannedFile& file, bool verified) {
    constexpr size_t kDigits = 64;
    std::wstring digest = file.entry.sha256;
    for (wchar_t& c : digest) c = static_cast<wchar_t>(towlower(c));
    const bool hex = digest.size() == kDigits &&
                     digest.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
    return verified && hex ? digest : std::wstring();
}

}  // namespace

std::vector<JournalEntry> CInstallLite::CommitList() const {
    std::vector<JournalEntry> entries;
    for (const PlannedFile& file : plan->files)
        entries.push_back(
            JournalEntry{file.target, file.staged, FreeAsidePath(file.target),
                         file.entry.registerDll != 0, SignedDigest(file, verifiesUpdates),
                         file.base});
    return entries;
}

std::vector<std::wstring> CInstallLite::InstalledNames() const {
    std::vector<std::wstring> names;
    for (const PlannedFile& file : plan->files)
        names.push_back(DeltaPlan::StagedFromDelta(file) ? file.target + L" from its delta " +
                                                               DeltaChoice::ObjectName(*file.delta)
                                                         : file.ShownPackage());
    return names;
}

bool CInstallLite::ExtractPackage(const std::wstring& packagePath) {
    CZipArchive archive;
    archive.OpenArchive(packagePath, CZipArchive::zipOpen, 0);
    const std::wstring folder = PathText::FolderPart(packagePath);
    if (!archive.ExtractEntry(0, folder.c_str(), true, nullptr, kExtractBufferSize)) return false;
    archive.CloseArchive(0, false);
    DeleteFileW(packagePath.c_str());
    return true;
}

bool CInstallLite::ExtractPackageTo(const std::wstring& packagePath, const std::wstring& file,
                                    uint64_t largestFile) {
    CZipArchive archive;
    archive.OpenArchive(packagePath, CZipArchive::zipOpenReadOnly, 0);
    // A few kilobytes of deflated data can declare gigabytes; the reader writes no more than an
    // entry declares, so a declared size above the bound is refused before anything is written.
    const CZipFileHeader* entry = archive.GetCount() > 0 ? archive.GetEntry(0) : nullptr;
    if (!entry || entry->uncompressedSize > largestFile) return false;
    const std::wstring folder = PathText::FolderPart(file);
    const std::wstring name = PathText::FileNamePart(file);
    if (!CZipArchive::EnsureFolder(folder)) return false;
    if (!archive.ExtractEntry(0, folder.c_str(), false, name.c_str(), kExtractBufferSize))
        return false;
    archive.CloseArchive(0, false);
    return true;
}
