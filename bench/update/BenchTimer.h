#pragma once

#include <windows.h>

// Seconds since construction, from the performance counter.
class BenchTimer {
public:
    BenchTimer() {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
    }
    double Seconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
    }

private:
    LARGE_INTEGER frequency, start;
};
