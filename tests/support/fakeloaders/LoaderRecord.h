#pragma once

#include <windows.h>

#include <string>

// What a fake loader program writes about how it was started, and what tests read back. The
// record is UTF-8 text:
//   path=<its full path>
//   cwd=<its current directory>
//   cmdline=<its command line>
//   pid=<its process id>
//   consoleprocesses=<processes attached to its console>
//   settings:
//   <PelkoWebLoader.ini of its folder, byte for byte, as it found it; nothing when absent>
struct LoaderRecord {
    std::wstring path;
    std::wstring cwd;
    std::wstring commandLine;
    DWORD pid = 0;
    DWORD consoleProcesses = 0;
    std::string settings;

    std::string Format() const;
    static LoaderRecord Parse(const std::string& bytes);
};

std::string Utf8(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
