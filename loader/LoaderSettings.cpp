#include "loader/LoaderSettings.h"

#include <windows.h>

#include "framework/PathText.h"
#include "framework/win32/DebugOutput.h"
#include "loader/InstallFolder.h"
#include "support/CIni.h"

namespace {

// Unique per process and thread, so that two launches never share a temporary file.
std::wstring TemporaryPath(const std::wstring& path) {
    return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetCurrentThreadId()) + L".tmp";
}

void WriteKeys(const std::wstring& path, const std::wstring& server, const std::wstring& enc,
               const std::wstring& entId, const std::wstring& entName) {
    CIni ini;
    ini.SetPathName(path.c_str());
    constexpr wchar_t kSection[] = L"PelkoWebLoader";
    ini.WriteString(kSection, L"Server", server.c_str());
    ini.WriteString(kSection, L"Enc", enc.c_str());
    ini.WriteString(kSection, L"EntID", entId.c_str());
    ini.WriteString(kSection, L"EntName", entName.c_str());
    // Hands the cached profile to the disk before the file is moved.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

}  // namespace

void WriteLoaderSettings(const std::wstring& server, const std::wstring& enc,
                         const std::wstring& entId, const std::wstring& entName) {
    const std::wstring path = PathText::AppendBackslash(GetInstallFolder()) + L"PelkoWebLoader.ini";
    const std::wstring temporary = TemporaryPath(path);
    // The old file's other sections, format and code page carry over: the same profile
    // functions write the four keys into a copy of it.
    if (!CopyFileW(path.c_str(), temporary.c_str(), FALSE) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        DebugOutput::DebugFormat(L"WriteLoaderSettings, cannot copy %s, Error:%lu\n", path.c_str(),
                                 GetLastError());
        DeleteFileW(temporary.c_str());
        return;
    }
    try {
        WriteKeys(temporary, server, enc, entId, entName);
    } catch (...) {
        DeleteFileW(temporary.c_str());
        throw;
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DebugOutput::DebugFormat(L"WriteLoaderSettings, cannot replace %s, Error:%lu\n",
                                 path.c_str(), GetLastError());
        DeleteFileW(temporary.c_str());
    }
}
