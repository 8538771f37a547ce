#include "patchui/PatchDialog.h"

#include "patchui/CPatchDlg.h"

int RunPatchDialog(const std::wstring& server) {
    CPatchDlg dialog(server);
    return static_cast<int>(dialog.DoModal());
}
