#pragma once

#include <string>

// Brings the install folder up to date from the server before the loader starts. The loader
// starts whatever the outcome, even when the step throws.
void RunPatchStep(const std::wstring& server);

// The patch step as the launch sequence takes it: RunPatchStep, or a stand-in in tests.
using PatchStep = void (*)(const std::wstring& server);
