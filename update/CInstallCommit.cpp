#include "update/CInstallCommit.h"

#include <windows.h>

#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "update/CommitStepSeam.h"
#include "update/RegisterServer.h"
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

std::wstring FailureText(const wchar_t* what, const std::wstring& path) {
    wchar_t code[16];
    swprintf(code, 16, L"(0x%08x)", static_cast<unsigned>(GetLastError()));
    return std::wstring(what) + path + code;
}

}  // namespace

void CInstallCommit::Step() { CommitStepReached(step++); }

bool CInstallCommit::Run(const std::vector<JournalEntry>& entries, const FileDone& fileDone) {
    step = 0;
    // An old file a running program held at the last commit may still lie aside.
    for (const JournalEntry& entry : entries) {
        if (!DeleteAnyFile(entry.aside)) {
            errorText = FailureText(L"failed to replace file : ", entry.target);
            return false;
        }
    }
    Step();
    if (!journal.Write(entries)) {
        errorText = FailureText(L"failed to write file : ", journal.Path());
        return false;
    }
    return Complete(entries, fileDone);
}

bool CInstallCommit::Recover() {
    if (!journal.Exists()) return true;
    DebugFormat(L"CInstallCommit::Recover, unfinished commit found: %s\n", journal.Path().c_str());
    const auto entries = journal.Read();
    if (!entries) {
        // Renamed into place only once whole: a journal that does not read was never acted on.
        DebugOutput::DebugLine(L"CInstallCommit::Recover, unreadable journal removed\n");
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
        RegisterIfDll(entry.target.c_str());
    }
    Finish(entries);
    return true;
}

bool CInstallCommit::PlaceFile(const JournalEntry& entry) {
    // No staged file: this target was placed before a stop.
    if (!Exists(entry.staged)) return true;
    Step();
    if (Exists(entry.target)) {
        if (!DeleteAnyFile(entry.aside) ||
            !MoveFileExW(entry.target.c_str(), entry.aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            errorText = FailureText(L"failed to replace file : ", entry.target);
            return false;
        }
    }
    Step();
    CZipArchive::EnsureFolder(PathText::FolderPart(entry.target));
    if (!MoveFileExW(entry.staged.c_str(), entry.target.c_str(), kMoveFlags)) {
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

void CInstallCommit::Finish(const std::vector<JournalEntry>& entries) {
    Step();
    journal.Remove();
    for (const JournalEntry& entry : entries) {
        // A running program may still hold its old file; the next run tries again.
        if (Exists(entry.aside) && !DeleteAnyFile(entry.aside))
            DebugFormat(L"CInstallCommit::Finish, cannot delete %s yet\n", entry.aside.c_str());
    }
}
