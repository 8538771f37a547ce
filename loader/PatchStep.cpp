#include "loader/PatchStep.h"

#include "config/DeploymentValues.h"
#include "loader/InstallFolder.h"
#include "loader/UpdateUrlRule.h"
#include "patchui/PatchDialog.h"

void RunPatchStep(const std::wstring& server, const AfterUpdate& afterUpdate) {
    RunPatchDialog(UpdateUrlRule::UpdateUrlFor(server, DeploymentValues::kDefaultUpdateHost),
                   GetInstallFolder(), afterUpdate);
}
