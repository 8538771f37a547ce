#pragma once

#include <string>
#include <vector>

#include "loader/LaunchFixture.h"
#include "support/ui/MessageBoxWatcher.h"

// Runs PelkoWebHost.exe of the build as the shell runs the registered open command, against
// the install folder of the prefix.
class SchemeHostFixture : public LaunchFixture {
protected:
    // The loopback servers of these tests hold no update tree: the update fails, and the host
    // says so with its own code once the loader has started.
    static constexpr int kUpdateFailedExitCode = 8;

    struct HostRun {
        int exitCode = -1;
        std::vector<SeenMessageBox> boxes;  // read and closed while it ran
        std::string output;                 // standard output and error, "\r\n" as "\n"
    };

    static constexpr wchar_t kSchemeKey[] = L"Software\\Classes\\pelkoweb";

    static std::wstring HostPath();
    // The command line the open command "<host>" "%1" gives for this URL.
    static std::wstring OpenCommandFor(const std::wstring& url,
                                       const std::wstring& program = HostPath());

    // Runs the command line with the host (or another copy) as program; answers its message
    // boxes with OK.
    static HostRun RunHost(const std::wstring& commandLine,
                           const std::wstring& program = HostPath());
    // Waits for a process started elsewhere, answering its message boxes.
    static HostRun WatchProcess(HANDLE process);

    // Opens the link as a browser does: ShellExecuteExW of the URL; the started program's run.
    static HostRun OpenLink(const std::wstring& url);
    // Windows shows the user's classes inside HKEY_CLASSES_ROOT; Wine shows only the
    // machine's. There the user's registration is copied to the machine's classes while a link
    // is handed over, so that the shell runs the very command registered for the user, and
    // removed again afterwards.
    static void ShowToTheShell();
    // Opens an agent link with the server and enc value: the registered program runs without a
    // box and starts the agent loader with the link's values.
    static void ExpectAgentLinkStartsTheLoader(const std::wstring& serverUrl,
                                               const std::wstring& enc);
    static void HideFromTheShell();

    static void WriteText(HKEY root, const std::wstring& path, const wchar_t* name,
                          const std::wstring& data);
    // The text value, or "<absent>".
    static std::wstring ReadText(HKEY root, const std::wstring& path, const wchar_t* name);
    static void DeleteTree(HKEY root, const std::wstring& path);

    // Percent-encodes the UTF-8 form of the text, as a page's encodeURIComponent does.
    static std::wstring PercentEncoded(const std::wstring& text);

    // Starts the next case in a clean install folder that holds the fake loaders.
    static void FreshInstallFolder();
    // Each fake loader's record file, and the settings file: none exists.
    static void ExpectNothingStarted();
};
