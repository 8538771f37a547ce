#include "update/RunFolders.h"

#include <windows.h>

#include "framework/PathText.h"
#include "framework/win32/UniqueHandle.h"
#include "update/UpdateWorkPaths.h"

namespace RunFolders {

namespace {

constexpr unsigned kNameAttempts = 100;

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1] = L"";
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return length > 0 && length <= MAX_PATH ? std::wstring(temp) : std::wstring();
}

// Whether the process that made a folder at madeAt has ended. A process that cannot be asked
// (another user's) counts as running.
bool OwnerEnded(DWORD processId, const FILETIME& madeAt) {
    if (processId == GetCurrentProcessId()) return false;
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return true;
    FILETIME started, exited, kernel, user;
    if (!GetProcessTimes(process.get(), &started, &exited, &kernel, &user)) return false;
    return CompareFileTime(&started, &madeAt) > 0;
}

}  // namespace

namespace {

// Calls act with the name of every file directly in the folder.
template <typename Act>
void ForEachFile(const std::wstring& folder, Act act) {
    if (folder.empty()) return;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(PathText::Join(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) act(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void EmptyFolder(const std::wstring& folder) {
    // An empty path is never taken for the current folder.
    if (folder.empty()) return;
    ForEachFile(folder, [&](const wchar_t* name) {
        DeleteFileW(PathText::Join(folder, name).c_str());
    });
    RemoveDirectoryW(folder.c_str());
}

void RemoveFilesExcept(const std::wstring& folder, const std::set<std::wstring>& kept,
                       bool (*only)(std::wstring_view name)) {
    ForEachFile(folder, [&](const wchar_t* name) {
        if (kept.count(name) == 0 && (!only || only(name)))
            DeleteFileW(PathText::Join(folder, name).c_str());
    });
}

void RemoveEndedRunFolders(const std::wstring& tempFolder) {
    if (tempFolder.empty()) return;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW(PathText::Join(tempFolder, L"PelkoUpdate-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const auto owner = UpdateWorkPaths::TempRunFolderOwner(found.cFileName);
        // A link could lead the emptying anywhere: only plain folders.
        const DWORD kind = found.dwFileAttributes;
        if (owner && (kind & FILE_ATTRIBUTE_DIRECTORY) && !(kind & FILE_ATTRIBUTE_REPARSE_POINT) &&
            OwnerEnded(*owner, found.ftCreationTime))
            EmptyFolder(PathText::Join(tempFolder, found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring MakeManifestFolder(const std::wstring& workFolder) {
    const std::wstring temp = TempFolder();
    if (!temp.empty()) {
        RemoveEndedRunFolders(temp);
        for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
            const std::wstring folder =
                PathText::AppendBackslash(temp) +
                UpdateWorkPaths::TempRunFolderName(GetCurrentProcessId(), GetTickCount() + attempt);
            if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        }
    }
    return UpdateWorkPaths::ManifestFolder(workFolder);
}

}  // namespace RunFolders
