#include "patchui/PatchDialog.h"

#include "patchui/CPatchDlg.h"

int RunPatchDialog(const std::wstring& updateUrl, const std::wstring& installFolder,
                   const std::function<void()>& afterWindow) {
    bool done = false;
    const auto once = [&] {
        if (done) return;
        done = true;
        afterWindow();
    };
    CPatchDlg dialog(updateUrl, installFolder);
    dialog.SetEndAction(once);
    const int result = static_cast<int>(dialog.DoModal());
    once();
    return result;
}
