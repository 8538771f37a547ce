#include "patchui/PatchDialog.h"

#include "patchui/CPatchDlg.h"

int RunPatchDialog(const std::wstring& updateUrl, const std::wstring& installFolder,
                   const std::function<void(const UpdateOutcome&)>& afterWindow) {
    bool done = false;
    CPatchDlg dialog(updateUrl, installFolder);
    const auto once = [&] {
        if (done) return;
        done = true;
        afterWindow(dialog.Outcome());
    };
    dialog.SetEndAction(once);
    const int result = static_cast<int>(dialog.DoModal());
    once();
    return result;
}
