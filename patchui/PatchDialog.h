#pragma once

#include <string>

// Runs the patch window for a server (empty: the default update server) until the update run
// has ended; its result, 1 or 2 (-1 when the window cannot be made).
int RunPatchDialog(const std::wstring& server);
