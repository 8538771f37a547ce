#include "loader/PatchStep.h"

#include "patchui/PatchDialog.h"

void RunPatchStep(const std::wstring& server) { RunPatchDialog(server); }
