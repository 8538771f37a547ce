#pragma once

#include <string>

// Starts the program of that file name in the install folder, without arguments.
void LaunchLoader(const std::wstring& exeName);

// Creates a process of the program at programPath in a new console, with this process's
// environment and folder as its current folder, and lets it run on its own. The full path is
// the application name and, quoted, the command line, so a path with blanks names no other
// program. A failure is shown to the user; the result says whether the process was created.
bool StartProcess(const std::wstring& programPath, const std::wstring& folder);
