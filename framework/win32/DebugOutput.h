#pragma once

#include <functional>
#include <string>

// Every diagnostic line goes through here: it always reaches the platform debug output, and an
// observer installed by a test sees it too. Event lines (DebugLine) also go to the user's log
// file (LogFile); a transfer's progress chatter (ProgressLine) does not: a dozen lines per
// package would bury the events and cost each package more than its request.
namespace DebugOutput {

using Observer = std::function<void(const std::wstring& line)>;

void DebugLine(const std::wstring& line);
// printf-style formatting into a bounded buffer, then DebugLine.
void DebugFormat(const wchar_t* format, ...);

// Connection notifications, status texts, percentages, rate and time left of a transfer.
void ProgressLine(const std::wstring& line);
void ProgressFormat(const wchar_t* format, ...);

void SetObserver(Observer observer);

}  // namespace DebugOutput
