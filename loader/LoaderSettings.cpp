#include "loader/LoaderSettings.h"

#include "framework/PathText.h"
#include "framework/SystemError.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UniqueHandle.h"
#include "loader/LoaderTexts.h"
#include "support/CIni.h"

namespace {

// Unique per process and thread, so that two launches never share a temporary file.
std::wstring TemporaryPath(const std::wstring& path) {
    return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetCurrentThreadId()) + L".tmp";
}

// The calling thread's error, never ERROR_SUCCESS: a failed step must not read as written.
DWORD LastFailure() {
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT;
}

DWORD WriteKeys(const std::wstring& path, const std::wstring& server, const std::wstring& enc,
                const std::wstring& entId, const std::wstring& entName,
                const UpdateOutcome& outcome) {
    CIni ini;
    ini.SetPathName(path.c_str());
    constexpr wchar_t kSection[] = L"PelkoWebLoader";
    const bool written =
        ini.WriteString(kSection, L"Server", server.c_str()) &&
        ini.WriteString(kSection, L"Enc", enc.c_str()) &&
        ini.WriteString(kSection, L"EntID", entId.c_str()) &&
        ini.WriteString(kSection, L"EntName", entName.c_str()) &&
        ini.WriteString(kSection, L"UpdateResult",
                        UpdateOutcomeText::ResultName(outcome.result).c_str()) &&
        ini.WriteString(kSection, L"ReleaseSerial",
                        UpdateOutcomeText::SerialText(outcome.releaseSerial).c_str());
    if (!written) return LastFailure();
    // Hands the cached profile to the disk before the file is moved; this call answers FALSE
    // whatever happens.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    return ERROR_SUCCESS;
}

// Makes temporary, readable by this user (a prepared folder's members) and the machine's
// administrators only (it holds the page's values), holding the old file's bytes when there is
// one.
DWORD MakeRecordCopy(const std::wstring& folder, const std::wstring& path,
                     const std::wstring& temporary) {
    const FolderSecurity::RecordDescriptor list = FolderSecurity::RecordDescriptorIn(folder);
    if (!list.Usable()) return LastFailure();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), list.get(), FALSE};
    const UniqueHandle copy(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, &attributes,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (copy.get() == INVALID_HANDLE_VALUE) return LastFailure();
    const UniqueHandle old(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (old.get() == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : LastFailure();
    char buffer[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(old.get(), buffer, sizeof(buffer), &read, nullptr)) return LastFailure();
        if (read == 0) return ERROR_SUCCESS;
        DWORD written = 0;
        if (!WriteFile(copy.get(), buffer, read, &written, nullptr) || written != read)
            return LastFailure();
    }
}

// The copy of the old file (when there is one) with this launch's keys, at temporary.
DWORD WriteCopy(const std::wstring& folder, const std::wstring& path, const std::wstring& temporary,
                const std::wstring& server, const std::wstring& enc, const std::wstring& entId,
                const std::wstring& entName, const UpdateOutcome& outcome) {
    // The old file's other sections, format and code page carry over: the same profile
    // functions write the keys into a copy of it.
    const DWORD copied = MakeRecordCopy(folder, path, temporary);
    if (copied != ERROR_SUCCESS) return copied;
    return WriteKeys(temporary, server, enc, entId, entName, outcome);
}

void RemoveTemporary(const std::wstring& temporary) {
    // A copy of a read-only file is read-only too.
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary.c_str());
}

}  // namespace

std::wstring LoaderSettingsPath(const std::wstring& installFolder) {
    return PathText::AppendBackslash(installFolder) + L"PelkoWebLoader.ini";
}

DWORD WriteLoaderSettings(const std::wstring& installFolder, const std::wstring& server,
                          const std::wstring& enc, const std::wstring& entId,
                          const std::wstring& entName, const UpdateOutcome& outcome) {
    const std::wstring path = LoaderSettingsPath(installFolder);
    const std::wstring temporary = TemporaryPath(path);
    DWORD code = ERROR_SUCCESS;
    try {
        code = WriteCopy(installFolder, path, temporary, server, enc, entId, entName, outcome);
    } catch (...) {
        RemoveTemporary(temporary);
        throw;
    }
    // A read-only file is not this launch's to replace (Windows refuses the move; Wine would
    // replace it).
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (code == ERROR_SUCCESS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        code = ERROR_ACCESS_DENIED;
    if (code == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), path.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = LastFailure();
    if (code == ERROR_SUCCESS) return code;
    RemoveTemporary(temporary);
    DebugOutput::DebugFormat(L"WriteLoaderSettings, cannot write %s, error %lu: %s\n", path.c_str(),
                             code, LoaderTexts::OneLine(SystemError::Text(code)).c_str());
    return code;
}
