#pragma once

#include <string>
#include <vector>

#include "loader/LaunchFixture.h"
#include "support/ui/MessageBoxWatcher.h"

// Runs PelkoWebHost.exe of the build as the shell runs the registered open command, against
// the install folder of the prefix.
class SchemeHostFixture : public LaunchFixture {
protected:
    struct HostRun {
        int exitCode = -1;
        std::vector<SeenMessageBox> boxes;  // read and closed while it ran
        std::string output;                 // standard output and error, "\r\n" as "\n"
    };

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

    // Percent-encodes the UTF-8 form of the text, as a page's encodeURIComponent does.
    static std::wstring PercentEncoded(const std::wstring& text);

    // Starts the next case in a clean install folder that holds the fake loaders.
    static void FreshInstallFolder();
    // Each fake loader's record file, and the settings file: none exists.
    static void ExpectNothingStarted();
};
