#include "AltMessageBox.h"

#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "res/resource_ids.h"

namespace scup {

CAltMessageBox::CAltMessageBox(LANGID language, HWND parent, int messageId, std::wstring text)
    : CLangDialog(language, IDD_ALT_MESSAGE, parent), m_nMessageId(messageId), m_strText(std::move(text)) {}

std::wstring CAltMessageBox::SettingName(int messageId) { return FormatText(L"NoMsg%d", messageId); }

INT_PTR CAltMessageBox::Show() {
    if (m_nMessageId == 0) return -1;
    const std::wstring setting = SettingName(m_nMessageId);
    if (GetProfileInt(kSettingsSection, setting.c_str(), 0) != 0) return -1;
    INT_PTR result = DoModal();
    if (m_bDontShow) WriteProfileInt(kSettingsSection, setting.c_str(), 1);
    return result;
}

BOOL CAltMessageBox::OnInitDialog() {
    CLangDialog::OnInitDialog();
    if (!m_hWarningIcon) m_hWarningIcon = LoadIconW(nullptr, IDI_WARNING);
    SendDlgItemMessageW(GetSafeHwnd(), IDC_ALT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_hWarningIcon), 0);
    SetWindowTextW(GetSafeHwnd(), AppTitle(m_nLanguage).c_str());
    if (!m_strText.empty())
        SetDlgItemTextW(GetSafeHwnd(), IDC_ALT_TEXT, m_strText.c_str());
    else
        SetControlText(IDC_ALT_TEXT, static_cast<UINT>(m_nMessageId));
    return TRUE;
}

void CAltMessageBox::ReadCheckBox() {
    m_bDontShow = IsDlgButtonChecked(GetSafeHwnd(), IDC_ALT_DONT_SHOW) == BST_CHECKED ? 1 : 0;
}

void CAltMessageBox::OnOK() {
    ReadCheckBox();
    EndDialog(IDOK);
}

void CAltMessageBox::OnCancel() {
    ReadCheckBox();
    EndDialog(IDCANCEL);
}

}  // namespace scup
