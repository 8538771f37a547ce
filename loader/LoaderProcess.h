#pragma once

#include <string>

// Starts the program of that file name in the install folder, without arguments.
void LaunchLoader(const std::wstring& exeName);

// Creates a process in a new console, with this process's environment and current directory,
// and lets it run on its own. A failure is shown to the user; the result says whether the
// process was created.
bool StartProcess(const std::wstring& commandLine);
