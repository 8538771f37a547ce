#pragma once

#include <windows.h>

#include <set>

namespace testsupport {

// The threads of this process now.
std::set<DWORD> ProcessThreads();

// The threads started since `before` that are still alive after waiting up to `waitMs` for
// them to end. Threads that the internet library started for itself do not count: WinINet
// keeps one for its connection pool from its first use in a process, and ends it when it sees
// fit.
std::set<DWORD> ThreadsLeftSince(const std::set<DWORD>& before, DWORD waitMs);

}  // namespace testsupport
