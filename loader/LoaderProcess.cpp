#include "loader/LoaderProcess.h"

#include <windows.h>

#include <vector>

#include "framework/FolderTrustRule.h"
#include "framework/PathText.h"
#include "framework/SystemError.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/FolderSecurity.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/UserMessage.h"
#include "loader/LoaderTexts.h"
#include "update/PreparedInstallFolder.h"

bool LaunchLoader(const std::wstring& installFolder, const std::wstring& exeName) {
    return StartProcess(PathText::AppendBackslash(installFolder) + exeName);
}

namespace {

bool ReportStartFailure(const std::wstring& programPath, DWORD code) {
    DebugOutput::DebugFormat(L"StartProcess, cannot start %s, error %lu: %s\n", programPath.c_str(),
                             code, SystemError::Text(code).c_str());
    UserMessage::ShowMessageBox(nullptr,
                                LoaderTexts::StartFailureText(code, SystemError::Text(code)),
                                LoaderTexts::kStartErrorCaption, MB_OK);
    return false;
}

// Whether the held program is a plain file only this user and the machine's authorities may
// change; one box and one log line when it is not.
bool ProgramTrusted(const std::wstring& programPath, HANDLE program) {
    DWORD error = ERROR_SUCCESS;
    const auto facts = FolderSecurity::FactsOfOpen(program, error);
    if (!facts) return ReportStartFailure(programPath, error);
    const auto user = FolderSecurity::CurrentUserSid();
    const FolderTrustRule::Judgement judgement =
        FolderTrustRule::JudgeFile(*facts, user.value_or(L""), InPreparedInstallFolder(programPath));
    if (judgement.finding == FolderTrustRule::Finding::Trusted) return true;
    const std::wstring owner = FolderSecurity::AccountName(facts->ownerSid);
    const std::wstring principal = FolderSecurity::AccountName(judgement.principal);
    DebugOutput::DebugFormat(
        L"StartProcess, untrusted program %s (owner %s, finding %d, may be changed by %s with "
        L"rights 0x%08lx): not started\n",
        programPath.c_str(), owner.c_str(), static_cast<int>(judgement.finding), principal.c_str(),
        static_cast<unsigned long>(judgement.rights));
    UserMessage::ShowMessageBox(
        nullptr,
        LoaderTexts::UntrustedProgramText(programPath, owner, judgement.finding, principal),
        LoaderTexts::kErrorCaption, MB_OK | MB_ICONERROR);
    return false;
}

}  // namespace

bool StartProcess(const std::wstring& programPath) {
    // Held from its judgement to its start: nobody writes, renames or replaces it meanwhile, so
    // the program judged is the one started.
    const UniqueHandle program(CreateFileW(programPath.c_str(), GENERIC_READ | READ_CONTROL,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (program.get() == INVALID_HANDLE_VALUE)
        return ReportStartFailure(programPath, GetLastError());
    if (!ProgramTrusted(programPath, program.get())) return false;
    // A file path cannot hold a quote, so the quoted path is one argument.
    const std::wstring commandLine = L"\"" + programPath + L"\"";
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(programPath.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process))
        return ReportStartFailure(programPath, GetLastError());
    DebugOutput::DebugFormat(L"StartProcess, started %s, process %lu\n", programPath.c_str(),
                             process.dwProcessId);
    // Nobody waits for or watches the program.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
