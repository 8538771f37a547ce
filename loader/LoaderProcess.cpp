#include "loader/LoaderProcess.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "framework/win32/UserMessage.h"
#include "loader/InstallFolder.h"
#include "loader/LoaderTexts.h"

namespace {

struct LocalFreer {
    void operator()(wchar_t* buffer) const { LocalFree(buffer); }
};

// The system's text for an error code in the user's default language; empty when it has none.
std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    // Inserts are ignored: no values are at hand for them, and texts that have inserts would
    // otherwise make the call read arguments that were never given.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreer> owner(buffer);
    return length == 0 || buffer == nullptr ? std::wstring() : std::wstring(buffer, length);
}

}  // namespace

void LaunchLoader(const std::wstring& exeName) { StartProcess(GetInstallFolder() + exeName); }

bool StartProcess(const std::wstring& commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process)) {
        const DWORD code = GetLastError();
        UserMessage::ShowMessageBox(nullptr,
                                    LoaderTexts::StartFailureText(code, SystemErrorText(code)),
                                    LoaderTexts::kStartErrorCaption, MB_OK);
        return false;
    }
    // Nobody waits for or watches the program.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
