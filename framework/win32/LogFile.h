#pragma once

#include <string>

// The per-user log file %LOCALAPPDATA%\Pelko\Logs\PelkoWebLoader.log, shared by every process of
// the user: each line is appended whole with one write, and at the bound the file becomes its
// one old copy PelkoWebLoader.log.1. A log that cannot be opened or written is skipped.
namespace LogFile {

// Appends one line (local time, process and thread prefixed). Never throws, never reports: it
// must not come back into the diagnostic output that calls it.
void Append(const std::wstring& text) noexcept;

// The file's full path; empty when the user has no local application data folder.
std::wstring Path();

}  // namespace LogFile
