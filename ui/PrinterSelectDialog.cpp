#include "PrinterSelectDialog.h"

#include "res/resource_ids.h"

namespace scup {

CPrinterSelectDialog::CPrinterSelectDialog(LANGID language, std::vector<std::wstring> printers, std::wstring current,
                                           HWND parent)
    : CLangDialog(language, IDD_PRINTER_SELECT, parent),
      m_printers(std::move(printers)),
      m_strPrinter(std::move(current)) {}

BOOL CPrinterSelectDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    // The one window of the program while it shows: a second start brings it forward.
    SetPropW(GetSafeHwnd(), kInstanceWindowProperty, reinterpret_cast<HANDLE>(1));
    HWND list = Item(IDC_PRINTER_LIST);
    int select = m_printers.empty() ? -1 : 0;
    for (size_t i = 0; i < m_printers.size(); ++i) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_printers[i].c_str()));
        if (m_printers[i] == m_strPrinter) select = static_cast<int>(i);
    }
    SendMessageW(list, LB_SETCURSEL, select, 0);
    UpdateOkButton();
    SetFocus(list);
    return FALSE;
}

void CPrinterSelectDialog::UpdateOkButton() {
    EnableWindow(Item(IDOK), SendMessageW(Item(IDC_PRINTER_LIST), LB_GETCURSEL, 0, 0) != LB_ERR);
}

bool CPrinterSelectDialog::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_PRINTER_LIST) {
        if (code == LBN_SELCHANGE) UpdateOkButton();
        if (code == LBN_DBLCLK) OnOK();
        return true;
    }
    return CLangDialog::OnCommand(id, code, control);
}

void CPrinterSelectDialog::OnOK() {
    LRESULT index = SendMessageW(Item(IDC_PRINTER_LIST), LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || static_cast<size_t>(index) >= m_printers.size()) return;
    m_strPrinter = m_printers[index];
    EndDialog(1);
}

void CPrinterSelectDialog::OnDestroy() {
    RemovePropW(GetSafeHwnd(), kInstanceWindowProperty);
    CLangDialog::OnDestroy();
}

}  // namespace scup
