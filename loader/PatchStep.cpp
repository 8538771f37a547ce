#include "loader/PatchStep.h"

#include "config/DeploymentValues.h"
#include "loader/UpdateUrlRule.h"
#include "patchui/PatchDialog.h"

void RunPatchStep(const std::wstring& server, const std::wstring& installFolder,
                  const std::function<void()>& afterUpdate) {
    RunPatchDialog(UpdateUrlRule::UpdateUrlFor(server, DeploymentValues::kDefaultUpdateHost),
                   installFolder, afterUpdate);
}
