#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The run's records of UTF-16 text (the commit journal, the install record), read whole.
namespace WideTextFile {

// The file's text; nothing when it cannot be opened or read whole, is larger than maxBytes, or
// holds an odd number of bytes.
std::optional<std::wstring> Read(const std::wstring& path, DWORD maxBytes);

}  // namespace WideTextFile
