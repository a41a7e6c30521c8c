#include "RtlMessageBoxHook.h"

namespace scup {
namespace {

// The message box's text control; its other static holds the icon.
constexpr int kMessageTextId = 0xFFFF;

thread_local HHOOK t_hook = nullptr;

void MakeTextReadRightToLeft(HWND box) {
    HWND text = GetDlgItem(box, kMessageTextId);
    if (!text) return;
    LONG_PTR style = GetWindowLongPtrW(text, GWL_STYLE);
    SetWindowLongPtrW(text, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_RIGHT);
    LONG_PTR exStyle = GetWindowLongPtrW(text, GWL_EXSTYLE);
    SetWindowLongPtrW(text, GWL_EXSTYLE, exStyle | WS_EX_RTLREADING | WS_EX_RIGHT);
    InvalidateRect(text, nullptr, TRUE);
}

LRESULT CALLBACK OnCbtEvent(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (lstrcmpW(className, L"#32770") == 0 && GetDlgItem(window, kMessageTextId)) MakeTextReadRightToLeft(window);
    }
    return CallNextHookEx(t_hook, code, wParam, lParam);
}

}  // namespace

CRtlMessageBoxHook::CRtlMessageBoxHook(UINT messageBoxStyle) {
    if (!(messageBoxStyle & MB_RTLREADING) || t_hook) return;
    m_hHook = SetWindowsHookExW(WH_CBT, OnCbtEvent, nullptr, GetCurrentThreadId());
    t_hook = m_hHook;
}

CRtlMessageBoxHook::~CRtlMessageBoxHook() {
    if (!m_hHook) return;
    UnhookWindowsHookEx(m_hHook);
    t_hook = nullptr;
}

}  // namespace scup
