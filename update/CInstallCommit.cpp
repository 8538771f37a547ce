#include "update/CInstallCommit.h"

#include <windows.h>

#include <optional>

#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "framework/FileSystem.h"
#include "update/CHeldFile.h"
#include "update/CInstallRecord.h"
#include "update/CommitStepSeam.h"
#include "update/JournalPathRule.h"
#include "update/PlaceTrust.h"
#include "update/RegisterServer.h"
#include "update/TargetPlace.h"
#include "update/UpdateWorkPaths.h"
#include "verify/CSha256.h"
#include "zip/CZipArchive.h"

namespace {

using DebugOutput::DebugFormat;

constexpr DWORD kMoveFlags =
    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteAnyFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Lower-case hexadecimal SHA-256 of the file; empty when it cannot be read.
std::wstring DigestOf(const std::wstring& path) {
    Sha256Digest digest{};
    uint64_t size = 0;
    if (!CSha256::OfFile(path, digest, size)) return std::wstring();
    const std::string hex = ToHex(digest);
    return std::wstring(hex.begin(), hex.end());
}

// Why the journal names a place its commit never touches; nothing when it names none.
std::optional<std::wstring> Refusal(const std::wstring& journalPath,
                                    const std::vector<JournalEntry>& entries) {
    const auto folders = JournalPathRule::FoldersOf(journalPath);
    if (!folders) return L"it is not the journal of an install folder";
    for (const JournalEntry& entry : entries) {
        if (auto refusal = JournalPathRule::Refusal(entry, *folders)) return refusal;
        const std::wstring base = entry.base.empty() ? folders->install : entry.base;
        if (auto refusal = TargetPlace::Refusal({base, entry.target}, folders->install))
            return refusal;
    }
    return std::nullopt;
}

// The entry's base folder: its own, or for a journal of an earlier form the install folder.
std::wstring BaseOf(const JournalEntry& entry, const std::wstring& journalPath) {
    if (!entry.base.empty()) return entry.base;
    const auto folders = JournalPathRule::FoldersOf(journalPath);
    return folders ? folders->install : std::wstring();
}

// Why a place of the commit may be changed by others; nothing when none may.
std::optional<std::wstring> UntrustedPlace(const std::wstring& journalPath,
                                           const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& entry : entries)
        if (auto refusal = PlaceTrust::Refusal(BaseOf(entry, journalPath), entry.target))
            return refusal;
    return std::nullopt;
}

std::wstring FailureText(const wchar_t* what, const std::wstring& path) {
    wchar_t code[16];
    swprintf(code, 16, L"(0x%08x)", static_cast<unsigned>(GetLastError()));
    return std::wstring(what) + path + code;
}

}  // namespace

void CInstallCommit::Step() { CommitStepReached(step++); }

bool CInstallCommit::Run(const std::vector<JournalEntry>& entries, const FileDone& fileDone) {
    step = 0;
    // The same rule as recovery's: a commit writes nothing its recovery would refuse.
    if (const auto refusal = Refusal(journal.Path(), entries)) {
        errorText = L"failed to replace file : " + *refusal;
        return false;
    }
    // Nothing is written, and so nothing registered, where others may change it.
    if (const auto refusal = UntrustedPlace(journal.Path(), entries)) {
        errorText = L"failed to replace file : " + *refusal;
        return false;
    }
    std::vector<JournalEntry> journaled = entries;
    for (JournalEntry& entry : journaled) {
        // An old file a running program held at the last commit may still lie aside.
        if (!DeleteAnyFile(entry.aside)) {
            errorText = FailureText(L"failed to replace file : ", entry.target);
            return false;
        }
        // The signed digest when the plan has one: what recovery registers is what was verified.
        if (!entry.registerDll || !entry.sha256.empty()) continue;
        entry.sha256 = DigestOf(entry.staged);
        if (entry.sha256.empty()) {
            errorText = FailureText(L"failed to read file : ", entry.staged);
            return false;
        }
    }
    // The record forgets the targets before any moves: recorded content is never stale.
    if (!ForgetTargets(journaled)) {
        errorText = FailureText(L"failed to write file : ", RecordPath());
        return false;
    }
    Step();
    if (!journal.Write(journaled)) {
        errorText = FailureText(L"failed to write file : ", journal.Path());
        return false;
    }
    return Complete(journaled, fileDone);
}

bool CInstallCommit::Recover() {
    if (!journal.Exists()) return true;
    DebugFormat(L"CInstallCommit::Recover, unfinished commit found: %s\n", journal.Path().c_str());
    const auto entries = journal.Read();
    if (!entries) {
        // Held by another program, or damaged: what it names is unknown, so nothing is moved,
        // removed or discarded, and the run stops.
        unreadable = true;
        DebugOutput::DebugLine(L"CInstallCommit::Recover, the journal cannot be read: nothing is "
                               L"changed and the update stops: " + journal.Path() + L"\n");
        return false;
    }
    if (const auto refusal = Refusal(journal.Path(), *entries)) {
        DebugOutput::DebugLine(
            L"CInstallCommit::Recover, journal refused, nothing moved or registered: " + *refusal +
            L"\n");
        return journal.Remove();
    }
    step = 1;
    const bool completed = Complete(*entries, nullptr);
    DebugOutput::DebugLine(completed ? L"CInstallCommit::Recover, rolled forward\n"
                                     : L"CInstallCommit::Recover, rolled back\n");
    return !journal.Exists();
}

bool CInstallCommit::Complete(const std::vector<JournalEntry>& entries, const FileDone& fileDone) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!PlaceFile(entries[i])) {
            RollBack(entries);
            return false;
        }
        if (fileDone) fileDone(i);
    }
    for (const JournalEntry& entry : entries) {
        if (!entry.registerDll) continue;
        Step();
        Register(entry);
    }
    Finish(entries);
    return true;
}

void CInstallCommit::Register(const JournalEntry& entry) {
    // What the target holds now must be what this commit staged (and, under signed updates,
    // its release verified): a journal of the first form knows no bytes, so it registers none.
    // The file stays held from its hash to the end of its registration.
    const CHeldFile target(entry.target, CHeldFile::Use::Read);
    if (entry.sha256.empty() || target.Sha256Hex() != entry.sha256) {
        DebugFormat(L"CInstallCommit, not registered: %s is not the file its commit staged\n",
                    entry.target.c_str());
        return;
    }
    // Judged again: a recovery may register long after its commit judged the place.
    if (const auto refusal = PlaceTrust::Refusal(BaseOf(entry, journal.Path()), entry.target)) {
        DebugOutput::DebugLine(L"CInstallCommit, not registered: " + *refusal + L"\n");
        return;
    }
    RegisterIfDll(entry.target.c_str());
}

bool CInstallCommit::PlaceFile(const JournalEntry& entry) {
    // No staged file: this target was placed before a stop.
    if (!Exists(entry.staged)) return true;
    Step();
    // Checked and moved through one handle that nobody else may write or rename meanwhile.
    const CHeldFile staged(entry.staged, CHeldFile::Use::Move);
    if (!staged.IsOpen()) {
        errorText = FailureText(L"failed to read file : ", entry.staged);
        return false;
    }
    if (!entry.sha256.empty() && staged.Sha256Hex() != entry.sha256) {
        DebugFormat(L"CInstallCommit, %s is not the file the update verified\n",
                    entry.staged.c_str());
        errorText = L"failed to replace file : " + entry.target;
        return false;
    }
    if (Exists(entry.target)) {
        if (!DeleteAnyFile(entry.aside) ||
            !MoveFileExW(entry.target.c_str(), entry.aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            errorText = FailureText(L"failed to replace file : ", entry.target);
            return false;
        }
    }
    Step();
    CZipArchive::EnsureFolder(PathText::FolderPart(entry.target));
    if (!staged.MoveTo(entry.target)) {
        errorText = FailureText(L"failed to replace file : ", entry.target);
        return false;
    }
    return true;
}

void CInstallCommit::RollBack(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& entry : entries) {
        const bool placed = !Exists(entry.staged);
        const bool movedAside = placed || !Exists(entry.target);
        if (movedAside && Exists(entry.aside))
            MoveFileExW(entry.aside.c_str(), entry.target.c_str(), kMoveFlags);
        else if (placed)
            DeleteAnyFile(entry.target);  // no old file to give back: the target was new
    }
    journal.Remove();
}

std::wstring CInstallCommit::RecordPath() const {
    return UpdateWorkPaths::InstallRecordFile(PathText::AppendBackslash(
        PathText::FolderPart(journal.Path())));
}

bool CInstallCommit::ForgetTargets(const std::vector<JournalEntry>& entries) const {
    CInstallRecord record(RecordPath());
    record.Load();
    for (const JournalEntry& entry : entries) record.Forget(entry.target);
    // A record that could not be written is removed: then it tells nothing wrong either.
    return record.Save() || !FileSystem::Exists(record.Path());
}

void CInstallCommit::LearnTargets(const std::vector<JournalEntry>& entries) const {
    CInstallRecord record(RecordPath());
    record.Load();
    // The digest is the one the commit checked the staged file against before moving it in.
    for (const JournalEntry& entry : entries) {
        if (entry.sha256.empty() || !Exists(entry.target))
            record.Forget(entry.target);
        else
            record.Set(entry.target, {FileSystem::FileSize(entry.target), entry.sha256});
    }
    record.Save();
}

void CInstallCommit::Finish(const std::vector<JournalEntry>& entries) {
    Step();
    // Before the journal goes: an interrupted commit's recovery learns them again.
    LearnTargets(entries);
    journal.Remove();
    for (const JournalEntry& entry : entries) {
        // A running program may still hold its old file; the next run tries again.
        if (Exists(entry.aside) && !DeleteAnyFile(entry.aside))
            DebugFormat(L"CInstallCommit::Finish, cannot delete %s yet\n", entry.aside.c_str());
    }
}
