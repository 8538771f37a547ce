#include "patchui/PatchDialog.h"

#include "patchui/CPatchDlg.h"

int RunPatchDialog(const std::wstring& server, const std::function<void()>& afterWindow) {
    CPatchDlg dialog(server);
    const int result = static_cast<int>(dialog.DoModal());
    afterWindow();
    return result;
}
