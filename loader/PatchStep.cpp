#include "loader/PatchStep.h"

#include "loader/InstallFolder.h"
#include "patchui/PatchDialog.h"

void RunPatchStep(const std::wstring& server, const std::function<void()>& afterUpdate) {
    RunPatchDialog(server, GetInstallFolder(), afterUpdate);
}
