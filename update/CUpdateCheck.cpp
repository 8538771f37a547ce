#include "update/CUpdateCheck.h"

#include <windows.h>

#include <wininet.h>

#include <cwchar>
#include <stdexcept>

#include "download/CDownloadComponent.h"
#include "framework/CException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CFileContent.h"
#include "update/CInstallLite.h"
#include "update/ManifestPaths.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"
#include "update/TargetPath.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CReleaseSerial.h"
#include "verify/CSha256.h"
#include "verify/ManifestVerification.h"
#include "verify/VerifiedExtraction.h"

namespace {

using bcl::common::exception::ReportCaughtException;

constexpr size_t kErrorMessageChars = 260;

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

// A part already downloaded is resumed one byte before its end: a part that is already whole
// is then answered with its last byte, not with a refusal of the range.
void SetResumePosition(DownloadComponentInfo& request, const std::wstring& part) {
    const uint64_t size = FileSystem::FileSize(part);
    if (size == 0) return;
    request.nStartPos = size - 1;
    DebugOutput::DebugFormat(L"CUpdateManagerLite, resuming %s at byte %I64u\n",
                             request.strDisplayName.c_str(), request.nStartPos);
}

}  // namespace

CUpdateCheck::CUpdateCheck(const CheckSettings& settings, const Folders& folders,
                           CTransferAbort& abort, CLastError& errors)
    : settings(settings), folders(folders), abort(abort), errors(errors) {}

int CUpdateCheck::Run() {
    const ULONGLONG started = GetTickCount64();
    const std::wstring& name = settings.manifestName;
    // Both attempts go to the run's own folder, never beside the host program.
    if (!FetchArchive(name) && (abort.Stopped() || !FetchArchive(name))) return 0;
    if (abort.Stopped()) return 0;
    CFileContent manifest;
    const std::wstring copy = PathText::AppendBackslash(folders.manifest) + name;
    const bool loaded = manifest.Load(copy.c_str(), VerifiesUpdates());
    const ULONGLONG manifestBytes = FileSystem::FileSize(copy);
    if (!loaded) {
        errors.Set(L"failed to load file : " + name, kErrorLoadManifest);
        return -1;
    }
    auto planned = std::make_shared<UpdatePlan>();
    for (const ManifestEntry& entry : manifest.Entries()) PlanIfOutdated(entry, *planned);
    const int count = static_cast<int>(planned->files.size());
    plan = std::move(planned);
    DebugOutput::DebugFormat(
        L"CUpdateManagerLite::CheckForUpdates, manifest %s: %I64u bytes, %u entries, %d to "
        L"fetch, %I64u ms\n",
        settings.updateUrl.c_str(), manifestBytes,
        static_cast<unsigned>(manifest.Entries().size()), count, GetTickCount64() - started);
    return count;
}

bool CUpdateCheck::FetchArchive(const std::wstring& name) {
    std::wstring url = settings.updateUrl;
    if (url.empty() || url.back() != L'/') url += L'/';
    url += name + L".zip";
    DownloadComponentInfo request =
        MakeDownloadRequest(url, folders.manifest, name + L".zip", settings.proxy);
    request.nMaxBodyBytes = ManifestPaths::PackageBodyBound(ManifestPaths::kMaxManifestBytes);
    const std::wstring copy = PathText::AppendBackslash(folders.manifest) + name;
    const std::wstring package = copy + L".zip";
    DeleteFileW(copy.c_str());
    DeleteFileW(package.c_str());
    try {
        CDownloadComponent component(nullptr, &request, 1, 1);
        const CWatchedTransfer watched(abort, component);
        component.Start(TRUE);
        DeleteUrlCacheEntryW(request.strURL.c_str());
    } catch (CException* error) {
        errors.Set(L"failed to download file : " + url + ErrorMessage(*error), kErrorFetchManifest);
        error->Delete();
        return false;
    } catch (...) {
        ReportCaughtException(L"CUpdateManagerLite::CheckForUpdates, manifest download");
        errors.Set(L"failed to download file : " + url, kErrorFetchManifest);
        return false;
    }
    if (abort.Stopped()) return false;
    if (VerifiesUpdates()) return AcceptManifest(package, copy);
    try {
        // Only the manifest itself is written, under its own name, whatever the entry is called.
        if (!CInstallLite::ExtractPackageTo(package, copy, ManifestPaths::kMaxManifestBytes))
            throw std::runtime_error("manifest not extracted");
    } catch (CException* error) {
        const DWORD lastError = GetLastError();
        error->Delete();
        errors.Set(ExtractFailure(package, lastError), kErrorExtractManifest);
        return false;
    } catch (...) {
        errors.Set(ExtractFailure(package, GetLastError()), kErrorExtractManifest);
        return false;
    }
    DeleteFileW(package.c_str());
    return true;
}

bool CUpdateCheck::AcceptManifest(const std::wstring& package, const std::wstring& copy) {
    const auto refusal = ExtractVerifiedManifest(package, copy, settings.keys,
                                                 CReleaseSerial(settings.installFolder),
                                                 SecondsNow());
    const DWORD lastError = GetLastError();
    DeleteFileW(package.c_str());
    if (!refusal) return true;
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, manifest refused: " + package +
                           L": " + *refusal + L"\n");
    // As for a package that cannot be unpacked: the check goes on as if there were no manifest.
    errors.Set(ExtractFailure(package, lastError), kErrorExtractManifest);
    return false;
}

bool CUpdateCheck::MayRegisterExisting(const ManifestEntry& entry,
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
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, not registered again: " +
                           target + L" is not the file the signed manifest names\n");
    return false;
}

bool CUpdateCheck::IsStagedFile(const ManifestEntry& entry, const std::wstring& staged) const {
    if (GetFileAttributesW(staged.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const uint64_t size = FileSystem::FileSize(staged);
    if (!VerifiesUpdates()) return entry.fileSize <= 0 || size == uint64_t(entry.fileSize);
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    Sha256Digest digest{};
    uint64_t hashed = 0;
    return expected && CSha256::OfFile(staged, digest, hashed) && hashed == expected->size &&
           digest == expected->sha256;
}

bool CUpdateCheck::PlanIfOutdated(const ManifestEntry& entry, UpdatePlan& into) const {
    const ULONGLONG releaseTime = ReleaseTimeOf(entry.modifyDate);
    if (!ManifestPaths::TypeAccepted(settings.typeFilter, entry.type)) return false;
    const std::optional<std::wstring> contained = ContainedTargetPath(
        entry.folderType, entry.targetDir, entry.name, settings.installFolder);
    if (!contained) return false;
    const std::wstring& target = *contained;
    // A file already in place is registered again only where this product installs, and
    // under signed updates only when it is the file the manifest names.
    const BOOL reRegister = entry.registerDll && IsInsideFolder(settings.installFolder, target) &&
                            MayRegisterExisting(entry, target);
    if (!NeedsUpdate(target, releaseTime, reRegister, entry.checkDate, entry.type,
                     settings.typeFilter))
        return false;
    PlannedFile file;
    file.entry = entry;
    file.target = target;
    file.request = BuildEntryRequest(entry, target, settings.updateUrl, settings.proxy);
    // Packages go to the run's folder, named after the release, never beside the target.
    file.request.strLocalFolder = folders.parts;
    file.request.strLocalFileName =
        UpdateWorkPaths::PartName(target, entry.modifyDate, entry.fileSize);
    file.part = PathText::Join(folders.parts, file.request.strLocalFileName);
    file.staged = PathText::Join(
        folders.staged, UpdateWorkPaths::StagedName(target, entry.modifyDate, entry.fileSize));
    file.alreadyStaged = IsStagedFile(entry, file.staged);
    if (file.alreadyStaged)
        DebugOutput::DebugFormat(L"CUpdateManagerLite, %s is staged already: not fetched\n",
                                 target.c_str());
    else
        SetResumePosition(file.request, file.part);
    into.files.push_back(std::move(file));
    return true;
}
