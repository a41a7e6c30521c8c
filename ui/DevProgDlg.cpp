#include "DevProgDlg.h"

#include <commctrl.h>

#include "AppMainWindow.h"
#include "common/LangResources.h"
#include "res/firmware_ids.h"

namespace scup {
namespace {

constexpr UINT kMarqueeIntervalMs = 30;

}  // namespace

CDevProgDlg::CDevProgDlg(LANGID language, HWND owner)
    : CLangDialog(language, IDD_DEV_PROGRESS, owner), m_hOwner(owner) {}

bool CDevProgDlg::Create() { return CreateModeless(); }

BOOL CDevProgDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND target = m_hOwner && IsWindow(m_hOwner) ? m_hOwner : AppMainWindow();
    if (target) CentreOver(target);
    SetWindowTextW(GetSafeHwnd(), AppTitle(m_nLanguage).c_str());
    SendMessageW(Item(IDC_DEV_PROGRESS), PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    return TRUE;
}

void CDevProgDlg::CentreOver(HWND target) {
    RECT over{}, own{};
    if (!GetWindowRect(target, &over) || !GetWindowRect(GetSafeHwnd(), &own)) return;
    const int x = (over.left + over.right - (own.right - own.left)) / 2;
    const int y = (over.top + over.bottom - (own.bottom - own.top)) / 2;
    SetWindowPos(GetSafeHwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace scup
