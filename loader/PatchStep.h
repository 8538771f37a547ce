#pragma once

#include <string>

// Brings the install folder up to date from the server before the loader starts. The loader
// starts whatever the outcome.
void RunPatchStep(const std::wstring& server);
