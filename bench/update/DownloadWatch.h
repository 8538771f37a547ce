#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>

#include "update/CRudovuZadoNotify.h"

// Waits for the end of a download phase: when it ended and whether it completed.
class DownloadWatch : public CRudovuZadoNotify {
public:
    DownloadWatch() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~DownloadWatch() override { CloseHandle(ended); }
    DownloadWatch(const DownloadWatch&) = delete;
    DownloadWatch& operator=(const DownloadWatch&) = delete;
    void OnUpdateComplete() override { End(true); }
    void OnUpdateError(const wchar_t* text) override {
        std::fwprintf(stderr, L"download error: %ls\n", text);
        End(false);
    }
    void OnUpdateStopped() override { End(false); }

    HANDLE ended;
    std::chrono::steady_clock::time_point at;
    bool complete = false;

private:
    void End(bool completed) {
        at = std::chrono::steady_clock::now();
        complete = completed;
        SetEvent(ended);
    }
};
