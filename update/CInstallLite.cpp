#include "update/CInstallLite.h"

#include <cwchar>

#include "framework/CException.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CInstallCommit.h"
#include "update/CUpdateManagerLite.h"
#include "update/RegisterServer.h"
#include "update/TargetPath.h"
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

// Entry 0 of the package into the file, or the failure's text. The text names the package as
// the user knows it (the target followed by ".zip"), not the run's part file.
std::wstring StageOne(const std::wstring& package, const std::wstring& staged,
                      const std::wstring& shownName, int fileSize) {
    // The manifest's FileSize bounds the file too, as it bounds the package's body.
    const uint64_t largest = fileSize > 0 ? static_cast<uint64_t>(fileSize) : UINT64_MAX;
    try {
        if (CInstallLite::ExtractPackageTo(package, staged, largest)) return std::wstring();
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
    return ExtractFailure(shownName, GetLastError());
}

// The same for a signed release: the file is kept only when it is the one the signed manifest
// names (entry name, size and SHA-256, checked while it is written).
std::wstring StageVerified(const ManifestEntry& entry, const std::wstring& package,
                           const std::wstring& staged, const std::wstring& shownName) {
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    std::optional<std::wstring> refusal = L"the signed manifest gives it no FileSize and Sha256";
    if (expected) {
        refusal = CZipArchive::EnsureFolder(PathText::FolderPart(staged))
                      ? ExtractVerified(package, staged, *expected)
                      : std::optional<std::wstring>(L"no staging folder");
    }
    if (!refusal) return std::wstring();
    DebugOutput::DebugLine(L"CInstallLite::Install, package refused: " + shownName + L" (" +
                           package + L"): " + *refusal + L"\n");
    return L"failed to verify file : " + shownName + L" (" + *refusal + L")";
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

bool CInstallLite::Stopped() const {
    if (!manager->IsInstallStopped()) return false;
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallStopped();
    return true;
}

void CInstallLite::ReportError(const std::wstring& text) {
    manager->SetInstallError(text);
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallError(text.c_str());
}

void CInstallLite::Install() {
    if (Stopped()) return;
    std::vector<JournalEntry> plan;
    const std::wstring failure = Stage(plan);
    if (!failure.empty()) {
        DebugFormat(L"CInstallLite::Install, not installed: %s\n", failure.c_str());
        // Nothing of the run is left when the receiver hears of the end.
        manager->DiscardStagedFiles();
        ReportError(failure);
        return;
    }
    if (manager->IsInstallStopped()) {
        manager->DiscardStagedFiles();
        (void)Stopped();
        return;
    }
    const int total = static_cast<int>(plan.size());
    CInstallCommit commit(UpdateWorkPaths::JournalFile(manager->WorkFolder()));
    const bool committed = commit.Run(plan, [&](size_t index) {
        // Named as the package always was: the target followed by ".zip".
        const std::wstring package = plan[index].target + L".zip";
        DebugFormat(L"CInstallLite::Install, checked and installed %s\n", package.c_str());
        if (CInstallLiteNotify* receiver = notify)
            receiver->OnInstallProgress(package.c_str(), static_cast<int>(index) + 1, total);
    });
    manager->DiscardStagedFiles();
    if (committed) manager->DiscardPackages();
    if (!committed) {
        DebugFormat(L"CInstallLite::Install, not installed: %s\n", commit.ErrorText().c_str());
        ReportError(commit.ErrorText());
        return;
    }
    verifiedTargets.clear();
    for (const JournalEntry& staged : plan) verifiedTargets.insert(staged.target);
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallComplete();
}

std::wstring CInstallLite::Stage(std::vector<JournalEntry>& plan) {
    const auto& entries = manager->GetPendingEntries();
    const std::vector<std::wstring> packages = manager->PackagePaths();
    const std::wstring stagedFolder = UpdateWorkPaths::StagedFolder(manager->WorkFolder());
    size_t index = 0;
    for (const ManifestEntry& entry : entries) {
        const std::wstring target =
            ResolveTargetPath(entry.folderType, entry.targetDir, entry.name);
        const std::wstring staged = PathText::Join(stagedFolder, std::to_wstring(index));
        std::wstring failure;
        if (target.empty() || index >= packages.size())
            failure = ExtractFailure(target + L".zip", ERROR_FILE_NOT_FOUND);
        else if (manager->VerifiesUpdates())
            failure = StageVerified(entry, packages[index], staged, target + L".zip");
        else
            failure = StageOne(packages[index], staged, target + L".zip", entry.fileSize);
        if (!failure.empty()) {
            // A damaged part must not be resumed by the next run.
            if (index < packages.size()) DeleteFileW(packages[index].c_str());
            return failure;
        }
        plan.push_back(JournalEntry{target, staged, FreeAsidePath(target), entry.registerDll != 0});
        ++index;
    }
    return std::wstring();
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

void CInstallLite::RegisterPackages() {
    for (const ManifestEntry& entry : manager->GetPendingEntries()) {
        if (!entry.registerDll) continue;
        const std::wstring target =
            ResolveTargetPath(entry.folderType, entry.targetDir, entry.name);
        // A file this run did not verify is never loaded.
        if (target.empty() || (manager->VerifiesUpdates() && verifiedTargets.count(target) == 0))
            continue;
        RegisterIfDll(target.c_str());
    }
}

bool CInstallLite::RegisterIfDll(const wchar_t* path) { return ::RegisterIfDll(path); }

std::wstring CInstallLite::ResolveTargetPath(int folderType, const std::wstring& targetDir,
                                             const std::wstring& name) const {
    return ContainedTargetPath(folderType, targetDir, name, manager->InstallFolder())
        .value_or(std::wstring());
}
