#include "loader/PatchStep.h"

// No update run is made yet: the loader starts on what the install folder already holds.
void RunPatchStep(const std::wstring&) {}
