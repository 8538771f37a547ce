#include "host/SchemeHostFixture.h"

#include <shellapi.h>

#include <cctype>
#include <memory>

namespace {

constexpr DWORD kHostWaitMs = 60000;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::string ReadAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    std::erase(text, '\r');
    return text;
}

}  // namespace

std::wstring SchemeHostFixture::HostPath() { return ProgramFolder() + L"PelkoWebHost.exe"; }

std::wstring SchemeHostFixture::OpenCommandFor(const std::wstring& url,
                                               const std::wstring& program) {
    return L"\"" + program + L"\" \"" + url + L"\"";
}

SchemeHostFixture::HostRun SchemeHostFixture::RunHost(const std::wstring& commandLine,
                                                      const std::wstring& program) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inheritable, 0)) return {};
    const UniqueHandle readEnd(readRaw);
    UniqueHandle writeEnd(writeRaw);
    SetHandleInformation(readRaw, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeRaw;
    startup.hStdError = writeRaw;
    std::wstring line = commandLine;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
        return {};
    CloseHandle(process.hThread);
    writeEnd.reset();  // the host holds the only write end now
    const UniqueHandle processHandle(process.hProcess);
    HostRun run = WatchProcess(process.hProcess);
    run.output = ReadAll(readRaw);
    return run;
}

SchemeHostFixture::HostRun SchemeHostFixture::WatchProcess(HANDLE process) {
    HostRun run;
    MessageBoxWatcher watcher(GetProcessId(process));
    if (WaitForSingleObject(process, kHostWaitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the host did not end";
        TerminateProcess(process, 1);
        WaitForSingleObject(process, kHostWaitMs);
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(process, &exitCode);
    run.exitCode = static_cast<int>(exitCode);
    run.boxes = watcher.Seen();
    return run;
}

SchemeHostFixture::HostRun SchemeHostFixture::OpenLink(const std::wstring& url) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = url.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
        ADD_FAILURE() << "ShellExecuteExW failed, error " << GetLastError();
        return {};
    }
    const UniqueHandle process(info.hProcess);
    return WatchProcess(info.hProcess);
}

void SchemeHostFixture::ExpectAgentLinkStartsTheLoader(const std::wstring& serverUrl,
                                                       const std::wstring& enc) {
    const HostRun run = OpenLink(L"pelkoweb://agent?server=" + PercentEncoded(serverUrl) +
                                 L"&enc=" + PercentEncoded(enc));
    EXPECT_EQ(run.exitCode, kUpdateFailedExitCode);
    EXPECT_TRUE(run.boxes.empty());
    ASSERT_TRUE(WaitForRecord(L"PelkoAgentLoader").has_value());
    EXPECT_EQ(
        SettingsEntries(),
        (IniEntries{{L"Server", serverUrl}, {L"Enc", enc}, {L"EntID", L""}, {L"EntName", L""}}));
}

void SchemeHostFixture::ShowToTheShell() {
    HKEY visible = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"pelkoweb", 0, KEY_READ, &visible) == ERROR_SUCCESS) {
        RegCloseKey(visible);
        return;
    }
    WriteText(HKEY_LOCAL_MACHINE, kSchemeKey, L"URL Protocol", L"");
    const std::wstring command = std::wstring(kSchemeKey) + L"\\shell\\open\\command";
    WriteText(HKEY_LOCAL_MACHINE, command, nullptr, ReadText(HKEY_CURRENT_USER, command, nullptr));
}

void SchemeHostFixture::HideFromTheShell() { DeleteTree(HKEY_LOCAL_MACHINE, kSchemeKey); }

void SchemeHostFixture::WriteText(HKEY root, const std::wstring& path, const wchar_t* name,
                                  const std::wstring& data) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring SchemeHostFixture::ReadText(HKEY root, const std::wstring& path, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return L"<absent>";
    return data;
}

void SchemeHostFixture::DeleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

std::wstring SchemeHostFixture::PercentEncoded(const std::wstring& text) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::wstring encoded;
    for (const char c : Utf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || byte == '-' || byte == '_' || byte == '.' || byte == '~') {
            encoded += static_cast<wchar_t>(byte);
        } else {
            encoded += L'%';
            encoded += static_cast<wchar_t>(kDigits[byte >> 4]);
            encoded += static_cast<wchar_t>(kDigits[byte & 0xF]);
        }
    }
    return encoded;
}

void SchemeHostFixture::FreshInstallFolder() {
    CleanInstallFolder();
    InstallFakeLoaders();
}

void SchemeHostFixture::ExpectNothingStarted() {
    EXPECT_FALSE(Exists(SettingsPath()));
    for (const wchar_t* loader : kLoaders)
        EXPECT_FALSE(Exists(InInstallFolder(std::wstring(loader) + L".record.txt")))
            << Utf8(loader);
}
