#include "ProgressPanel.h"

#include <algorithm>

#include "MessageDialog.h"
#include "common/LangResources.h"
#include "res/firmware_ids.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

// The panel sits a little above the centre of the dialog.
constexpr int kPanelRaise = 100;

void PresentPanel(HWND owner, HWND window) {
    // Without its owner on the screen the panel needs a task-bar button of its own.
    if (!IsWindowVisible(owner))
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    RECT outer{}, own{};
    GetWindowRect(owner, &outer);
    GetWindowRect(window, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(window, HWND_TOP, (outer.left + outer.right - width) / 2,
                 (outer.top + outer.bottom - height - kPanelRaise) / 2, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

}  // namespace

void ApplyProgressPanel(HWND owner, ProgressMode mode, LANGID language) {
    const auto panel = CMessageDialog::Panel();
    if (!panel || !panel->GetSafeHwnd()) return;
    HWND window = panel->GetSafeHwnd();
    HWND cancel = GetDlgItem(window, IDCANCEL);
    if (mode == ProgressMode::Hidden) {
        ShowWindow(window, SW_HIDE);
        panel->SetProgress(0);
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_APPWINDOW);
        return;
    }
    if (mode == ProgressMode::Checking) {
        panel->BeginIndeterminate();
        panel->SetItemText(IDC_MSG_LINE, LoadLangString(IDS_UPD_CHECKING, language));
    } else {
        panel->SetProgress(0);
        panel->SetItemText(IDC_MSG_LINE, L"");
    }
    // Cancel ends a check as it ends a download: a server that keeps silent never holds the user.
    ShowWindow(cancel, SW_SHOW);
    EnableWindow(cancel, TRUE);
    panel->SetItemText(IDC_MSG_ITEM, L"");
    PresentPanel(owner, window);
}

void ShowProgressItem(HWND owner, const std::wstring& title, LANGID language) {
    const auto panel = CMessageDialog::Panel();
    if (!panel || !owner) return;
    panel->SetItemText(IDC_MSG_LINE, LoadLangString(IDS_UPD_DOWNLOADING, language));
    panel->SetItemText(IDC_MSG_ITEM, title);
}

void ShowProgressPercent(HWND owner, int percent) {
    if (!owner) return;
    if (const auto panel = CMessageDialog::Panel()) panel->SetProgress(std::clamp(percent, 0, 100));
}

}  // namespace scup
