// The cost of one diagnostic line: debug output alone (log folder unusable) against debug output
// and the log file, and the log file turning over at its bound. Prints microseconds per line.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/win32/DebugOutput.h"

namespace {

constexpr int kLines = 20000;

const std::wstring kLine =
    L"CDownloadComponent, received http://127.0.0.1:8080/CvUpdate/PelkoPatch/RudovuZado/"
    L"PelkoDeskLoader.exe.zip: 1048576 bytes, 42 ms\n";

template <typename Write>
double MicrosecondsPerLine(int lines, Write write) {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < lines; ++i) write();
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart / lines;
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"pelko-log-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

int wmain() {
    const std::wstring folder = TempFolder();
    const std::wstring notAFolder = folder + L"\\plain-file";
    CloseHandle(CreateFileW(notAFolder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto platformOnly = [] { OutputDebugStringW(kLine.c_str()); };
    const auto debugLine = [] { DebugOutput::DebugLine(kLine); };
    std::printf("OutputDebugStringW alone:          %7.1f us per line\n",
                MicrosecondsPerLine(kLines, platformOnly));
    SetEnvironmentVariableW(L"LOCALAPPDATA", notAFolder.c_str());
    std::printf("DebugLine, log folder unusable:    %7.1f us per line\n",
                MicrosecondsPerLine(kLines, debugLine));
    SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
    // 20,000 lines of about 160 bytes pass the 1 MiB bound about three times.
    std::printf("DebugLine with the log file:       %7.1f us per line (%d lines, turned over)\n",
                MicrosecondsPerLine(kLines, debugLine), kLines);
    for (const wchar_t* name : {L"\\Pelko\\Logs\\PelkoWebLoader.log",
                                L"\\Pelko\\Logs\\PelkoWebLoader.log.1", L"\\plain-file"})
        DeleteFileW((folder + name).c_str());
    for (const wchar_t* name : {L"\\Pelko\\Logs", L"\\Pelko", L""})
        RemoveDirectoryW((folder + name).c_str());
    return 0;
}
