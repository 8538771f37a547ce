#pragma once

#include <functional>
#include <string>

#include "update/UpdateOutcome.h"

// Runs the patch window over an update run from updateUrl into installFolder until the run
// has ended; calls afterWindow once, with how the run ended by then, as soon as the window
// decides to end (or could not be made), before waiting for the run's threads (a transfer the
// platform cannot abort at once may hold them a while). Its result, 1 or 2 (-1 when the window
// cannot be made).
int RunPatchDialog(const std::wstring& updateUrl, const std::wstring& installFolder,
                   const std::function<void(const UpdateOutcome&)>& afterWindow);
