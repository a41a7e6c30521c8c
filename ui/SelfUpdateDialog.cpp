#include "SelfUpdateDialog.h"

#include "common/LangResources.h"
#include "res/selfupdate_ids.h"

namespace scup {

CSelfUpdateDialog::CSelfUpdateDialog(LANGID language, HWND parent)
    : CLangDialog(language, IDD_SELF_UPDATE, parent) {}

BOOL CSelfUpdateDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    // A shared system icon: the control shows it but never destroys it.
    HICON information = LoadIconW(nullptr, IDI_INFORMATION);
    SendMessageW(Item(IDC_SELF_UPDATE_ICON), STM_SETICON, reinterpret_cast<WPARAM>(information), 0);
    SetWindowTextW(GetSafeHwnd(), AppTitle(m_nLanguage).c_str());
    MakeBold(IDC_SELF_UPDATE_HEADING);
    // The question may come while another program has the foreground: the user must see it.
    SetForegroundWindow(GetSafeHwnd());
    return TRUE;
}

void CSelfUpdateDialog::OnDestroy() {
    SendMessageW(Item(IDC_SELF_UPDATE_ICON), STM_SETICON, 0, 0);
    CLangDialog::OnDestroy();
}

}  // namespace scup
