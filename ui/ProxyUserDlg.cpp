#include "ProxyUserDlg.h"

#include "res/resource_ids.h"

namespace scup {

CProxyUserDlg::CProxyUserDlg(LANGID language, HWND parent) : CLangDialog(language, IDD_PROXY_USER, parent) {}

void CProxyUserDlg::Preset(std::wstring user, std::wstring password, int saveCredentials) {
    m_strUser = std::move(user);
    m_strPassword = std::move(password);
    m_bSaveCredentials = saveCredentials;
}

BOOL CProxyUserDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND dialog = GetSafeHwnd();
    SetDlgItemTextW(dialog, IDC_PROXY_USER_NAME, m_strUser.c_str());
    SetDlgItemTextW(dialog, IDC_PROXY_USER_PASSWORD, m_strPassword.c_str());
    CheckDlgButton(dialog, IDC_PROXY_USER_SAVE, m_bSaveCredentials ? BST_CHECKED : BST_UNCHECKED);
    // The proxy asks while the user may be looking at another window.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    return TRUE;
}

std::wstring CProxyUserDlg::ItemText(int id) const {
    HWND control = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void CProxyUserDlg::OnOK() {
    m_strUser = ItemText(IDC_PROXY_USER_NAME);
    m_strPassword = ItemText(IDC_PROXY_USER_PASSWORD);
    m_bSaveCredentials = IsDlgButtonChecked(GetSafeHwnd(), IDC_PROXY_USER_SAVE) == BST_CHECKED ? 1 : 0;
    EndDialog(IDOK);
}

bool AskProxyCredentials(LANGID language, CAUHttpConnection::Credentials& credentials) {
    CProxyUserDlg dialog(language);
    dialog.Preset(credentials.user, credentials.password, credentials.save);
    if (dialog.DoModal() != IDOK) return false;
    credentials.user = dialog.User();
    credentials.password = dialog.Password();
    credentials.save = dialog.SaveCredentials();
    return true;
}

}  // namespace scup
