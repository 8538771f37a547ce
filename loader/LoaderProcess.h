#pragma once

#include <string>

// Starts the program of that file name in the install folder, without arguments; whether it
// was started.
bool LaunchLoader(const std::wstring& installFolder, const std::wstring& exeName);

// Creates a process of the program at programPath in a new console, with this process's
// environment and current folder (loader programs rely on starting in the host's), and lets it
// run on its own. The full path is the application name and, quoted, the command line, so a
// path with blanks names no other program. A failure is shown to the user; the result says
// whether the process was created.
bool StartProcess(const std::wstring& programPath);
