#pragma once

#include <functional>
#include <string>

// Every diagnostic line goes through DebugLine: it always reaches the platform debug output and
// the user's log file (LogFile), and an observer installed by a test sees it too.
namespace DebugOutput {

using Observer = std::function<void(const std::wstring& line)>;

void DebugLine(const std::wstring& line);
// printf-style formatting into a bounded buffer, then DebugLine.
void DebugFormat(const wchar_t* format, ...);

void SetObserver(Observer observer);

}  // namespace DebugOutput
