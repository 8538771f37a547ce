#include "loader/LoaderProcess.h"

#include <windows.h>

#include <vector>

#include "framework/PathText.h"
#include "framework/SystemError.h"
#include "framework/win32/DebugOutput.h"
#include "framework/win32/UserMessage.h"
#include "loader/LoaderTexts.h"

bool LaunchLoader(const std::wstring& installFolder, const std::wstring& exeName) {
    return StartProcess(PathText::AppendBackslash(installFolder) + exeName);
}

bool StartProcess(const std::wstring& programPath) {
    // A file path cannot hold a quote, so the quoted path is one argument.
    const std::wstring commandLine = L"\"" + programPath + L"\"";
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(programPath.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process)) {
        const DWORD code = GetLastError();
        DebugOutput::DebugFormat(L"StartProcess, cannot start %s, error %lu: %s\n",
                                 programPath.c_str(), code, SystemError::Text(code).c_str());
        UserMessage::ShowMessageBox(nullptr,
                                    LoaderTexts::StartFailureText(code, SystemError::Text(code)),
                                    LoaderTexts::kStartErrorCaption, MB_OK);
        return false;
    }
    DebugOutput::DebugFormat(L"StartProcess, started %s, process %lu\n", programPath.c_str(),
                             process.dwProcessId);
    // Nobody waits for or watches the program.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
