#include "download/ProgressText.h"

#include <climits>
#include <cstdio>

namespace ProgressText {

namespace {

// Fixed-point text of a value; digits are ASCII, so widening is exact.
std::wstring Fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, value);
    return std::wstring(buffer, buffer + std::char_traits<char>::length(buffer));
}

}  // namespace

std::wstring SizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_wstring(bytes) + L" Bytes";
    if (bytes < 1048576) return Fixed(static_cast<double>(bytes) * (1.0 / 1024), 1) + L" KB";
    return Fixed(static_cast<double>(bytes) * (1.0 / 1048576), 2) + L" MB";
}

std::wstring PercentLine(int percent, const std::wstring& displayName) {
    return std::to_wstring(percent) + L" of " + displayName + L" Completed";
}

std::wstring TimeText(uint32_t seconds) {
    if (seconds < 60) return std::to_wstring(seconds) + L" sec";
    const uint32_t minutes = seconds / 60;
    const uint32_t rest = seconds % 60;
    if (rest == 0) return std::to_wstring(minutes) + L" min";
    return std::to_wstring(minutes) + L" min " + std::to_wstring(rest) + L" sec";
}

std::wstring TimeLeftLine(uint32_t seconds, uint64_t done, uint64_t total) {
    return TimeText(seconds) + L" (" + SizeText(done) + L" of " + SizeText(total) + L" copied)";
}

std::wstring TransferRateLine(double bytesPerMs) {
    if (bytesPerMs < 1) return Fixed(bytesPerMs * 1024, 0) + L" Bytes/Sec";
    if (bytesPerMs < 10) return Fixed(bytesPerMs, 2) + L" KB/Sec";
    return Fixed(bytesPerMs, 0) + L" KB/Sec";
}

int FilePercent(uint64_t startPos, uint64_t bytesRead, uint64_t total) {
    if (total == 0) return 100;
    const uint64_t done = startPos + bytesRead;
    // Past the announced length the figure goes above 100, but saturates instead of wrapping.
    uint64_t percent;
    if (done <= UINT64_MAX / 100)
        percent = done * 100 / total;
    else if (done < total)
        percent = done / (total / 100);  // total is above UINT64_MAX / 100 here
    else
        percent = done / total >= INT_MAX / 100 ? INT_MAX : done / total * 100;
    return percent < INT_MAX ? static_cast<int>(percent) : INT_MAX;
}

int ListPercent(int index, int count, int filePercent) {
    if (count == 1) return filePercent;
    if (index == count) return 100;
    return count == 0 ? 0 : index * 100 / count;
}

uint32_t SecondsLeft(uint32_t elapsedMs, uint64_t bytesRead, uint64_t remaining) {
    if (bytesRead == 0) return 0;
    const double left = static_cast<double>(elapsedMs) / static_cast<double>(bytesRead) *
                        (static_cast<double>(remaining) - static_cast<double>(bytesRead)) / 1000;
    if (!(left > 0)) return 0;
    return left < kMaxSecondsLeft ? static_cast<uint32_t>(left) : kMaxSecondsLeft;
}

uint32_t ThrottlePauseMs(uint64_t bytesRead, uint32_t elapsedMs, double maxBytesPerMs,
                         uint32_t maxPauseMs) {
    if (!(maxBytesPerMs > 0)) return 0;
    // Compared as doubles: with a tiny cap the wanted time is far beyond any integer.
    const double wanted = static_cast<double>(bytesRead) / maxBytesPerMs - elapsedMs;
    if (!(wanted > 0)) return 0;
    return wanted < maxPauseMs ? static_cast<uint32_t>(wanted) : maxPauseMs;
}

const wchar_t* StatusFormat(unsigned long status) {
    switch (status) {
        case 10:
            return L"Resolving name: %s";
        case 11:
            return L"Resolved name to %s";
        case 20:
            return L"Connecting to %s";
        case 21:
            return L"Connected to %s";
        case 110:
            return L"Redirecting to %s";
        default:
            return nullptr;
    }
}

}  // namespace ProgressText
