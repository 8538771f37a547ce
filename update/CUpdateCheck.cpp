#include "update/CUpdateCheck.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <stdexcept>

#include "download/CDetachedWorker.h"
#include "download/CDownloadComponent.h"
#include "download/TransferRules.h"
#include "framework/CException.h"
#include "framework/FileSystem.h"
#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/UniqueHandle.h"
#include "support/bcl/common/exception/CaughtException.h"
#include "update/CFileContent.h"
#include "update/CInstallLite.h"
#include "update/DeltaPlan.h"
#include "update/KeptValidators.h"
#include "update/ManifestPaths.h"
#include "update/NeedsUpdate.h"
#include "update/ReleaseTime.h"
#include "update/TargetPath.h"
#include "update/TargetPlace.h"
#include "update/UpdateWorkPaths.h"
#include "update/ContentRule.h"
#include "verify/CReleaseSerial.h"
#include "verify/CRolloutDraw.h"
#include "verify/CSha256.h"
#include "verify/ManifestVerification.h"
#include "verify/RolloutRule.h"
#include "verify/VerifiedExtraction.h"
#include "zip/CZipArchive.h"

namespace {

using bcl::common::exception::ReportCaughtException;

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

// "2026-12-11 13:05" for seconds since 1970.
std::wstring UtcText(int64_t seconds) {
    constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(seconds * 10000000 + kUnixEpochInFileTime);
    const FILETIME time{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return std::to_wstring(seconds);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
             utc.wMinute);
    return text;
}

const wchar_t kValidatorsSuffix[] = L".validators";

std::optional<KeptValidators> ReadValidators(const std::wstring& path) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    char buffer[4096];
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return std::nullopt;
    return KeptValidators::FromText(std::string(buffer, read));
}

bool WriteValidators(const std::wstring& path, const KeptValidators& validators) {
    const std::optional<std::string> text = validators.Text();
    if (!text) return false;
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file.get(), text->data(), static_cast<DWORD>(text->size()), &written, nullptr);
    return ok && written == text->size();
}

// An entry's file as two manifests of one install folder name it, without case.
std::wstring EntryKey(const ManifestEntry& entry) {
    std::wstring key =
        std::to_wstring(entry.folderType) + L"\t" + entry.targetDir + L"\t" + entry.name;
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

std::optional<ContentRule::Content> ContentOf(const std::wstring& path) {
    Sha256Digest digest{};
    uint64_t size = 0;
    try {
        if (!CSha256::OfFile(path, digest, size)) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const std::string hex = ToHex(digest);
    return ContentRule::Content{size, std::wstring(hex.begin(), hex.end())};
}

}  // namespace

CUpdateCheck::CUpdateCheck(const CheckSettings& settings, const Folders& folders,
                           std::shared_ptr<CTransferAbort> abort, CInstalledFileChanges& changes,
                           CLastError& errors, std::shared_ptr<void> keepAlive)
    : settings(settings),
      folders(folders),
      abort(std::move(abort)),
      changes(changes),
      errors(errors),
      keepAlive(std::move(keepAlive)),
      record(UpdateWorkPaths::InstallRecordFile(folders.work)) {}

int CUpdateCheck::Run() {
    const ULONGLONG started = GetTickCount64();
    deadline = started + kManifestDeadlineMs;
    const std::wstring& name = settings.manifestName;
    if (VerifiesUpdates() && !folders.work.empty()) {
        record.Load();
        // The release accepted before, as it was: the fetch below keeps the new one instead.
        DeleteFileW(BeforePackage().c_str());
        if (!KeptPackage().empty()) CopyFileW(KeptPackage().c_str(), BeforePackage().c_str(), FALSE);
    }
    // Into the run's own folder, never beside the host program.
    if (!FetchArchive(name) || abort->Stopped()) {
        if (abort->Stopped())
            ended = UpdateResult::Postponed;
        else if (!ended)
            ended = UpdateResult::Failed;
        return 0;
    }
    CFileContent manifest;
    const std::wstring copy = PathText::AppendBackslash(folders.manifest) + name;
    const bool loaded = manifest.Load(copy.c_str(), VerifiesUpdates());
    const ULONGLONG manifestBytes = FileSystem::FileSize(copy);
    if (!loaded) {
        errors.Set(L"failed to load file : " + name, kErrorLoadManifest);
        ended = UpdateResult::Failed;
        return -1;
    }
    auto planned = std::make_shared<UpdatePlan>();
    planned->releaseSerial = acceptedSerial;
    for (const ManifestEntry& entry : manifest.Entries()) PlanIfOutdated(entry, *planned);
    if (recordLearned && !folders.work.empty()) record.Save();
    const int count = static_cast<int>(planned->files.size());
    plan = std::move(planned);
    // A kept copy refused before the one fetched anew was taken says nothing of this run.
    if (count == 0)
        ended = UpdateResult::Current;
    else
        ended.reset();
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
    const std::wstring copy = PathText::AppendBackslash(folders.manifest) + name;
    const std::wstring package = copy + L".zip";
    DeleteFileW(copy.c_str());
    DeleteFileW(package.c_str());
    const bool haveKept = !KeptPackage().empty() && FileSystem::Exists(KeptPackage());
    const Fetched fetched = FetchOnce(url, name, haveKept);
    if (fetched == Fetched::Failed || abort->Stopped()) return false;
    if (fetched == Fetched::NotModified) {
        DebugOutput::DebugFormat(L"CUpdateManagerLite::CheckForUpdates, %s unchanged (304)\n",
                                 url.c_str());
        // The kept copy is checked as if it had just come; one that fails is asked for again.
        if (CopyFileW(KeptPackage().c_str(), package.c_str(), FALSE) &&
            AcceptPackage(package, copy))
            return true;
        FileSystem::RemoveFile(KeptPackage());
        DeleteFileW(copy.c_str());
        DeleteFileW(package.c_str());
        if (FetchOnce(url, name, false) != Fetched::Whole || abort->Stopped()) return false;
    }
    std::wstring kept = package + L".kept";
    const bool keepable = CopyFileW(package.c_str(), kept.c_str(), FALSE) != FALSE;
    const bool accepted = AcceptPackage(package, copy);
    if (accepted && keepable && !abort->Stopped()) KeepPackage(kept);
    DeleteFileW(kept.c_str());
    return accepted;
}

CUpdateCheck::Fetched CUpdateCheck::FetchOnce(const std::wstring& url, const std::wstring& name,
                                              bool conditional) {
    // What the worker owns: it may outlive this check when a stop or the deadline comes.
    struct Transfer {
        DownloadComponentInfo request;
        std::unique_ptr<CDownloadComponent> component;
        std::shared_ptr<CTransferAbort> abort;
        std::shared_ptr<void> keepAlive;
        bool received = false;
        DWORD status = 0;
        std::wstring etag, lastModified;
    };
    auto transfer = std::make_shared<Transfer>();
    try {
        transfer->request = MakeDownloadRequest(url, folders.manifest, name + L".zip", settings.proxy);
        transfer->request.nMaxBodyBytes =
            ManifestPaths::PackageBodyBound(ManifestPaths::kMaxManifestBytes);
        transfer->request.nRetries = TransferRules::kRetries;
        if (conditional) {
            const auto kept = ReadValidators(KeptPackage() + kValidatorsSuffix);
            if (kept && kept->BelongTo(url)) {
                transfer->request.strIfNoneMatch = kept->etag;
                transfer->request.strIfModifiedSince = kept->lastModified;
            }
        }
        transfer->component =
            std::make_unique<CDownloadComponent>(nullptr, &transfer->request, 1, 1);
        transfer->abort = abort;
        transfer->keepAlive = keepAlive;
    } catch (...) {
        ReportCaughtException(L"CUpdateManagerLite::CheckForUpdates, manifest download");
        errors.Set(L"failed to download file : " + url, kErrorFetchManifest);
        return Fetched::Failed;
    }
    CDetachedWorker worker;
    const bool started = worker.Start([transfer] {
        const CWatchedTransfer watched(*transfer->abort, *transfer->component);
        transfer->component->Start(TRUE);
        transfer->received = transfer->component->IsReceived();
        transfer->status = transfer->component->m_dwStatus;
        transfer->etag = transfer->component->m_strETag;
        transfer->lastModified = transfer->component->m_strLastModified;
    });
    if (!started) {
        errors.Set(L"failed to download file : " + url, kErrorFetchManifest);
        return Fetched::Failed;
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (!worker.Wait(left, abort->Event())) {
        if (abort->Stopped()) return Fetched::Failed;
        // Ended here, not waited for: a worker still blocked ends by itself.
        transfer->component->Abort();
        DebugOutput::DebugFormat(
            L"CUpdateManagerLite::CheckForUpdates, no manifest from %s within %u s: the "
            L"installed version starts\n",
            url.c_str(), static_cast<unsigned>(kManifestDeadlineMs / 1000));
        errors.Set(L"failed to download file : " + url, kErrorFetchManifest);
        return Fetched::Failed;
    }
    DeleteUrlCacheEntryW(url.c_str());
    if (!transfer->received) {
        const std::wstring& text = transfer->component->GetErrorText();
        errors.Set(L"failed to download file : " + url + (text.empty() ? L"" : L" (" + text + L")"),
                   kErrorFetchManifest);
        return Fetched::Failed;
    }
    validators = KeptValidators{transfer->etag, transfer->lastModified, url};
    return transfer->status == HTTP_STATUS_NOT_MODIFIED ? Fetched::NotModified : Fetched::Whole;
}

bool CUpdateCheck::AcceptPackage(const std::wstring& package, const std::wstring& copy) {
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

std::wstring CUpdateCheck::KeptPackage() const {
    if (folders.work.empty()) return std::wstring();
    return PathText::Join(folders.work, settings.manifestName + L".zip");
}

void CUpdateCheck::KeepPackage(const std::wstring& package) const {
    const std::wstring kept = KeptPackage();
    if (kept.empty()) return;
    const std::wstring validatorsFile = kept + kValidatorsSuffix;
    // The same bytes under the same validators (or none, as before): nothing in the install
    // folder changes.
    const std::optional<KeptValidators> keptValidators = ReadValidators(validatorsFile);
    const bool sameValidators = validators.Text() ? keptValidators == validators : !keptValidators;
    Sha256Digest keptDigest{}, newDigest{};
    uint64_t keptSize = 0, newSize = 0;
    if (sameValidators && CSha256::OfFile(kept, keptDigest, keptSize) &&
        CSha256::OfFile(package, newDigest, newSize) && keptSize == newSize &&
        keptDigest == newDigest)
        return;
    // The validators go first: a kept copy without its own validators is never asked for by
    // another's.
    DeleteFileW(validatorsFile.c_str());
    if (!MoveFileExW(package.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    if (!WriteValidators(validatorsFile, validators)) DeleteFileW(validatorsFile.c_str());
}

bool CUpdateCheck::AcceptManifest(const std::wstring& package, const std::wstring& copy) {
    const CReleaseSerial serials(settings.installFolder);
    ReleaseStatement statement;
    const auto refusal = ExtractVerifiedManifest(package, copy, settings.keys, settings.acceptance,
                                                 serials, SecondsNow(), &statement, false);
    const DWORD lastError = GetLastError();
    DeleteFileW(package.c_str());
    if (!refusal) return TakeRelease(statement, serials);
    ended = UpdateResult::Refused;
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, manifest refused: " + package +
                           L": " + *refusal + L"\n");
    // As for a package that cannot be unpacked: the check goes on as if there were no manifest.
    errors.Set(ExtractFailure(package, lastError), kErrorExtractManifest);
    return false;
}

bool CUpdateCheck::TakeRelease(const ReleaseStatement& statement, const CReleaseSerial& serials) {
    if (statement.rollout) {
        // An install without a release yet has nothing to wait on.
        const bool firstInstall = !serials.Read().found;
        const uint32_t draw = firstInstall ? 0 : CRolloutDraw(settings.installFolder).Draw();
        const int64_t now = SecondsNow();
        if (!RolloutRule::Offered(statement.rollout, firstInstall, draw, now)) {
            ReportNotOffered(statement, draw);
            ended = UpdateResult::NotOffered;
            return false;
        }
    }
    if (statement.serial != serials.Read().serial && !serials.Record(statement.serial))
        DebugOutput::DebugLine(
            L"CUpdateManagerLite::CheckForUpdates, cannot record release "
            L"serial in " +
            serials.Path() + L"\n");
    acceptedSerial = statement.serial;
    return true;
}

void CUpdateCheck::ReportNotOffered(const ReleaseStatement& statement, uint32_t draw) const {
    const ReleaseRollout& rollout = *statement.rollout;
    if (!RolloutRule::UnderCap(rollout, draw)) {
        DebugOutput::DebugFormat(
            L"CUpdateManagerLite::CheckForUpdates, release %I64u is rolled out in stages and held "
            L"at %u.%u %% of installs, not this one: the installed version starts\n",
            statement.serial, *rollout.cap / 10000, *rollout.cap / 1000 % 10);
        return;
    }
    DebugOutput::DebugFormat(
        L"CUpdateManagerLite::CheckForUpdates, release %I64u is rolled out in stages: this "
        L"install's turn comes at %s UTC; the installed version starts\n",
        statement.serial, UtcText(RolloutRule::TurnOf(rollout, draw)).c_str());
}

std::optional<std::wstring> CUpdateCheck::DigestToRegisterAgain(
    const ManifestEntry& entry, const std::wstring& target) const {
    // Only an existing file not checked by date is registered again (the caller has judged
    // its type and place).
    if (!VerifiesUpdates() || entry.checkDate ||
        GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::wstring();
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    if (expected) {
        const std::string hex = ToHex(expected->sha256);
        return std::wstring(hex.begin(), hex.end());
    }
    DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, not registered again: " +
                           target + L": the signed manifest names no SHA-256\n");
    return std::nullopt;
}

bool CUpdateCheck::IsStagedFile(const ManifestEntry& entry, const std::wstring& staged) const {
    // Nothing but a signed digest tells a staged file's bytes: an unsigned run stages anew.
    if (!VerifiesUpdates() || GetFileAttributesW(staged.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    const auto expected = ExpectedFromManifest(entry.name, entry.fileSize, entry.sha256);
    Sha256Digest digest{};
    uint64_t hashed = 0;
    return expected && CSha256::OfFile(staged, digest, hashed) && hashed == expected->size &&
           digest == expected->sha256;
}

std::wstring CUpdateCheck::BeforePackage() const {
    return PathText::Join(folders.manifest, settings.manifestName + L".before.zip");
}

void CUpdateCheck::ReadBeforeManifest() {
    before.emplace();
    if (!FileSystem::Exists(BeforePackage())) return;
    // A folder of its own: the manifest keeps its name, which its statement signs.
    const std::wstring folder = PathText::Join(folders.manifest, L"before");
    const std::wstring copy = PathText::Join(folder, settings.manifestName);
    const CReleaseSerial noSerial(folder);
    // Accepted once already: its serial is judged against none, the rest as then.
    std::optional<std::wstring> refusal = L"no folder for it";
    if (CZipArchive::EnsureFolder(folder))
        refusal = ExtractVerifiedManifest(BeforePackage(), copy, settings.keys,
                                          settings.acceptance, noSerial, SecondsNow());
    DeleteFileW(BeforePackage().c_str());
    CFileContent manifest;
    if (!refusal && manifest.Load(copy.c_str(), true))
        for (const ManifestEntry& entry : manifest.Entries())
            if (auto content = ContentRule::SignedContent(entry.fileSize, entry.sha256))
                before->emplace(EntryKey(entry), *content);
    if (refusal)
        DebugOutput::DebugLine(L"CUpdateManagerLite::CheckForUpdates, the release accepted "
                               L"before is not used: " + *refusal + L"\n");
    DeleteFileW(copy.c_str());
    DeleteFileW(noSerial.Path().c_str());
    RemoveDirectoryW(folder.c_str());
}

std::optional<ContentRule::Content> CUpdateCheck::BeforeContent(const ManifestEntry& entry) {
    if (!before) ReadBeforeManifest();
    const auto found = before->find(EntryKey(entry));
    if (found == before->end()) return std::nullopt;
    return found->second;
}

bool CUpdateCheck::IsOutdatedByContent(const ManifestEntry& entry, const std::wstring& target,
                                       const ContentRule::Content& release) {
    ContentRule::Facts facts{release, record.Find(target)};
    if (!facts.recorded) {
        // Installed by another hand, or before the record was kept: hashed this once.
        facts.present = ContentOf(target);
        if (facts.present && !(*facts.present == release)) facts.before = BeforeContent(entry);
        facts.olderByDate = NeedsUpdate(target, ReleaseTimeOf(entry.modifyDate), FALSE, TRUE,
                                        entry.type, settings.typeFilter);
    }
    switch (ContentRule::Judge(facts)) {
        case ContentRule::Verdict::KeepAndRecord:
            record.Set(target, release);
            recordLearned = true;
            return false;
        case ContentRule::Verdict::Fetch:
            return true;
        case ContentRule::Verdict::Keep:
            break;
    }
    return false;
}

bool CUpdateCheck::IsOutdated(const ManifestEntry& entry, const std::wstring& target,
                              const std::optional<std::wstring>& registerDigest) {
    const auto release = ContentRule::SignedContent(entry.fileSize, entry.sha256);
    if (VerifiesUpdates() && entry.checkDate && release &&
        GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        return IsOutdatedByContent(entry, target, *release);
    return NeedsUpdate(target, ReleaseTimeOf(entry.modifyDate), registerDigest.has_value(),
                       entry.checkDate, entry.type, settings.typeFilter,
                       registerDigest.value_or(std::wstring()));
}

bool CUpdateCheck::PlanIfOutdated(const ManifestEntry& entry, UpdatePlan& into) {
    if (!ManifestPaths::TypeAccepted(settings.typeFilter, entry.type)) return false;
    const std::optional<TargetPlace::Place> place = TargetPlace::OfEntry(
        entry.folderType, entry.targetDir, entry.name, settings.installFolder);
    if (!place) return false;
    const std::wstring& target = place->target;
    // A file already in place is registered again only where this product installs, and
    // under signed updates only when it is the file the manifest names.
    // A stopped run registers nothing more; a stop waits for a registration under way.
    const CInstalledFileChanges::Scope change(changes);
    const std::optional<std::wstring> registerDigest =
        entry.registerDll && change.Entered() && IsInsideFolder(settings.installFolder, target)
            ? DigestToRegisterAgain(entry, target)
            : std::nullopt;
    if (!IsOutdated(entry, target, registerDigest)) return false;
    PlannedFile file;
    file.entry = entry;
    file.base = place->base;
    file.target = target;
    file.request =
        BuildEntryRequest(entry, target, settings.updateUrl, settings.proxy, VerifiesUpdates());
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
    if (DeltaPlan::Choose(file, VerifiesUpdates(), settings.updateUrl))
        DebugOutput::DebugFormat(L"CUpdateManagerLite, %s is fetched as a delta of %I64u bytes\n",
                                 target.c_str(), file.delta->size);
    into.files.push_back(std::move(file));
    return true;
}
