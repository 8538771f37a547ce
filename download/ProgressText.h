#pragma once

#include <cstdint>
#include <string>

// Texts and figures that a download shows while it runs. Pure rules: no clock, no platform.
namespace ProgressText {

// "1023 Bytes", "1.0 KB", "1.50 MB".
std::wstring SizeText(uint64_t bytes);

// "45 of abc.zip Completed".
std::wstring PercentLine(int percent, const std::wstring& displayName);

// "59 sec", "1 min", "2 min 5 sec".
std::wstring TimeText(uint32_t seconds);

// "2 min 5 sec (1.50 MB of 3.20 MB copied)".
std::wstring TimeLeftLine(uint32_t seconds, uint64_t done, uint64_t total);

// "512 Bytes/Sec", "1.00 KB/Sec", "10 KB/Sec"; one byte per millisecond reads as one KB/Sec.
std::wstring TransferRateLine(double bytesPerMs);

// Whole file percentage of a transfer resumed at startPos. A total of 0 (an empty body
// announced as such) counts as done rather than dividing by zero; a body longer than
// announced goes above 100 but never wraps negative.
int FilePercent(uint64_t startPos, uint64_t bytesRead, uint64_t total);

// The list moves in whole steps per record; a single record shows its file percentage.
int ListPercent(int index, int count, int filePercent);

// Time left from the average rate since the start; never negative when the body runs
// longer than announced, and at most kMaxSecondsLeft however long the announced body is.
constexpr uint32_t kMaxSecondsLeft = 0x7FFFFFFF;
uint32_t SecondsLeft(uint32_t elapsedMs, uint64_t bytesRead, uint64_t remaining);

// How long a transfer capped at maxBytesPerMs must pause after bytesRead bytes in elapsedMs
// to keep to its cap; at most maxPauseMs, so that a tiny cap cannot stall it for ever.
uint32_t ThrottlePauseMs(uint64_t bytesRead, uint32_t elapsedMs, double maxBytesPerMs,
                         uint32_t maxPauseMs);

// Status line format of a connection notification, or nullptr for those not shown.
const wchar_t* StatusFormat(unsigned long status);

}  // namespace ProgressText
