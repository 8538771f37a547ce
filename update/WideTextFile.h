#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The run's records of UTF-16 text (the commit journal, the install record), read whole.
namespace WideTextFile {

// The file's text; nothing when it cannot be opened or read whole, is larger than maxBytes, or
// holds an odd number of bytes.
std::optional<std::wstring> Read(const std::wstring& path, DWORD maxBytes);

// Writes text as the file's whole content and flushes it; disposition as CreateFileW takes it
// (TRUNCATE_EXISTING keeps the list of a file made with one). False when any step fails.
bool Write(const std::wstring& path, const std::wstring& text, DWORD disposition);

}  // namespace WideTextFile
