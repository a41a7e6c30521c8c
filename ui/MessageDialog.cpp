#include "MessageDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "AppMainWindow.h"
#include "TaskbarProgress.h"
#include "common/LangResources.h"
#include "res/firmware_ids.h"

namespace scup {
namespace {

enum PanelMessage : UINT {
    kSetItemText = WM_APP + 0x140,  // wParam control, lParam const wchar_t*
    kSetTitle,                      // lParam const wchar_t*
    kBeginIndeterminate,
    kSetProgress,  // wParam value (int)
};

constexpr UINT kMarqueeIntervalMs = 30;

std::mutex& PanelMutex() {
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<CMessageDialog>& PanelStorage() {
    static std::shared_ptr<CMessageDialog> panel;
    return panel;
}

void SetBarStyle(HWND bar, bool marquee) {
    LONG style = GetWindowLongW(bar, GWL_STYLE);
    LONG wanted = marquee ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE);
    if (wanted != style) SetWindowLongW(bar, GWL_STYLE, wanted);
}

}  // namespace

CMessageDialog::CMessageDialog(LANGID language, HWND parent)
    : CLangDialog(language, IDD_MESSAGE, parent),
      m_hCancelEvent(CreateEventW(nullptr, FALSE, FALSE, kCancelEventName)) {}

std::shared_ptr<CMessageDialog> CMessageDialog::Panel() {
    std::lock_guard lock(PanelMutex());
    return PanelStorage();
}

std::shared_ptr<CMessageDialog> CMessageDialog::CreatePanel(LANGID language, HWND parent) {
    if (auto existing = Panel()) return existing;
    auto panel = std::make_shared<CMessageDialog>(language, parent);
    if (!panel->CreateModeless()) return nullptr;
    std::lock_guard lock(PanelMutex());
    PanelStorage() = panel;
    return panel;
}

void CMessageDialog::DestroyPanel() {
    std::shared_ptr<CMessageDialog> panel;
    {
        std::lock_guard lock(PanelMutex());
        panel.swap(PanelStorage());
    }
    // Another thread may still hold the object: the window goes now, on its own thread.
    if (panel) panel->DestroyModeless();
}

BOOL CMessageDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    SetWindowTextW(GetSafeHwnd(), AppTitle(m_nLanguage).c_str());
    SetBarStyle(Item(IDC_MSG_PROGRESS), false);
    SendMessageW(Item(IDC_MSG_PROGRESS), PBM_SETRANGE32, 0, 100);
    ShowWindow(Item(IDCANCEL), SW_HIDE);
    EnableWindow(Item(IDCANCEL), FALSE);
    ShowWindow(GetSafeHwnd(), SW_HIDE);
    return TRUE;
}

void CMessageDialog::OnCancel() {
    if (m_hCancelEvent) SetEvent(m_hCancelEvent.get());
}

LRESULT CMessageDialog::SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) const {
    HWND hwnd = GetSafeHwnd();
    return hwnd ? SendMessageW(hwnd, message, wParam, lParam) : 0;
}

void CMessageDialog::SetItemText(int controlId, const std::wstring& text) {
    SendToWindow(kSetItemText, static_cast<WPARAM>(controlId), reinterpret_cast<LPARAM>(text.c_str()));
}

void CMessageDialog::SetTitle(const std::wstring& title) {
    SendToWindow(kSetTitle, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

void CMessageDialog::BeginIndeterminate() { SendToWindow(kBeginIndeterminate, 0, 0); }

void CMessageDialog::SetProgress(int value) { SendToWindow(kSetProgress, static_cast<WPARAM>(value), 0); }

INT_PTR CMessageDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
        case kSetItemText:
            SetDlgItemTextW(GetSafeHwnd(), static_cast<int>(wParam),
                            reinterpret_cast<const wchar_t*>(lParam));
            break;
        case kSetTitle:
            SetWindowTextW(GetSafeHwnd(), reinterpret_cast<const wchar_t*>(lParam));
            break;
        case kBeginIndeterminate:
            ApplyMarquee();
            break;
        case kSetProgress:
            ApplyProgress(static_cast<int>(wParam));
            break;
        default:
            return CLangDialog::OnMessage(message, wParam, lParam, handled);
    }
    handled = true;
    return TRUE;
}

void CMessageDialog::ApplyMarquee() {
    if (m_nMarquee.load()) return;
    HWND bar = Item(IDC_MSG_PROGRESS);
    SetBarStyle(bar, true);
    SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeIntervalMs);
    CTaskbarProgress::SetState(TaskbarWindowFor(GetSafeHwnd()), TBPF_INDETERMINATE);
    m_nMarquee.store(1);
}

void CMessageDialog::LeaveMarquee() {
    if (!m_nMarquee.load()) return;
    HWND bar = Item(IDC_MSG_PROGRESS);
    SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
    SetBarStyle(bar, false);
    m_nMarquee.store(0);
}

void CMessageDialog::ApplyProgress(int value) {
    LeaveMarquee();
    if (value == -1) {
        CTaskbarProgress::SetState(TaskbarWindowFor(GetSafeHwnd()), TBPF_ERROR);
        return;
    }
    value = std::clamp(value, 0, 100);
    SendMessageW(Item(IDC_MSG_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(value), 0);
    CTaskbarProgress::SetValue(GetSafeHwnd(), static_cast<ULONGLONG>(value), 100);
    if (value == 0) CTaskbarProgress::SetState(TaskbarWindowFor(GetSafeHwnd()), TBPF_NOPROGRESS);
}

}  // namespace scup
