#include "update/CInstallLite.h"

#include "framework/CException.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "update/CUpdateManagerLite.h"
#include "update/RegisterServer.h"
#include "update/TargetPath.h"
#include "verify/VerifiedExtraction.h"
#include "zip/CZipArchive.h"
#include "zip/CZipTargetFile.h"

namespace {

constexpr unsigned kExtractBufferSize = 65536;
constexpr size_t kErrorTextChars = 260;

using DebugOutput::DebugFormat;

std::wstring ErrorText(const CException& error) {
    wchar_t text[kErrorTextChars] = L"";
    return error.GetErrorMessage(text, kErrorTextChars) ? std::wstring(text) : std::wstring();
}

}  // namespace

void CInstallLite::StartThreaded(CInstallLiteNotify* receiver) {
    notify = receiver;
    if (!receiver) {
        Install();
        return;
    }
    Close();
    Start();
}

unsigned CInstallLite::Run() {
    try {
        Install();
    } catch (...) {
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

void CInstallLite::Install() {
    if (Stopped()) return;
    const auto& entries = manager->GetPendingEntries();
    const int total = static_cast<int>(entries.size());
    int done = 0;
    verifiedTargets.clear();
    for (const ManifestEntry& entry : entries) {
        const std::wstring target =
            ResolveTargetPath(entry.folderType, entry.targetDir, entry.name);
        const std::wstring package = target + L".zip";
        // A package that is missing, damaged or cannot be written is skipped; the log says why.
        // An entry outside its base folder is never unpacked.
        try {
            if (!target.empty())
                DebugFormat((manager->VerifiesUpdates() ? InstallVerified(entry, target)
                                                        : ExtractPackage(package))
                                ? L"CInstallLite::Install, checked and installed %s\n"
                                : L"CInstallLite::Install, not installed %s\n",
                            package.c_str());
        } catch (CException* error) {
            DebugFormat(L"CInstallLite::Install, not installed %s: %s\n", package.c_str(),
                        ErrorText(*error).c_str());
            error->Delete();
        } catch (...) {
            DebugFormat(L"CInstallLite::Install, not installed %s\n", package.c_str());
        }
        ++done;
        if (CInstallLiteNotify* receiver = notify)
            receiver->OnInstallProgress(package.c_str(), done, total);
        if (Stopped()) return;
    }
    RegisterPackages();
    if (CInstallLiteNotify* receiver = notify) receiver->OnInstallComplete();
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

bool CInstallLite::InstallVerified(const ManifestEntry& entry, const std::wstring& target) {
    const std::wstring package = target + L".zip";
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    std::optional<std::wstring> refusal = L"the signed manifest gives it no FileSize and Sha256";
    if (expected) {
        CZipTargetFile staged(target);
        staged.Close();
        refusal = ExtractVerified(package, staged.TemporaryPath(), *expected);
        if (!refusal && !staged.Commit()) refusal = L"it cannot replace " + target;
    }
    if (refusal) {
        DebugOutput::DebugLine(L"CInstallLite::Install, package refused: " + package + L": " +
                               *refusal + L"\n");
        return false;
    }
    DeleteFileW(package.c_str());
    verifiedTargets.insert(target);
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
