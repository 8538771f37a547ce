#pragma once

#include <string>

// What an UpdateEvent reports.
enum EventKind : int { kEventError = 0, kEventProgress = 1, kEventComplete = 2, kEventStopped = 3 };

// One downloader report on its way from the download threads to the manager's event thread.
// The sender allocates it and posts its address; from then on it belongs to the event thread.
struct UpdateEvent {
    EventKind kind = kEventProgress;
    int filePercent = 0;
    int overallPercent = 0;
    std::wstring message;  // kind kEventError
    std::wstring filePath;
    int fileIndex = 0;
    int fileCount = 0;
    std::wstring receivedText;
    std::wstring totalText;
};

// The figures of one progress report as the downloader hands them over: borrowed texts.
struct ProgressFigures {
    const wchar_t* filePath;
    int filePercent;
    int overallPercent;
    int fileIndex;
    int fileCount;
    const wchar_t* receivedText;
    const wchar_t* totalText;
};
