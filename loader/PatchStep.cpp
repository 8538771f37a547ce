#include "loader/PatchStep.h"

#include "config/DeploymentValues.h"
#include "loader/UpdateUrlRule.h"
#include "patchui/PatchDialog.h"

void RunPatchStep(const std::wstring& server, const std::wstring& installFolder,
                  const AfterUpdate& afterUpdate) {
    RunPatchDialog(UpdateUrlRule::UpdateUrlFor(server, DeploymentValues::kDefaultUpdateHost),
                   installFolder, afterUpdate);
}
