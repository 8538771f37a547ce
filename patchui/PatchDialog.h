#pragma once

#include <functional>
#include <string>

// Runs the patch window for a server (empty: the default update server) and an install folder
// until the update run
// has ended; calls afterWindow once, as soon as the window decides to end (or could not be
// made), before waiting for the run's threads (a transfer the platform cannot abort at once may
// hold them a while). Its result, 1 or 2 (-1 when the window cannot be made).
int RunPatchDialog(const std::wstring& server, const std::wstring& installFolder,
                   const std::function<void()>& afterWindow);
