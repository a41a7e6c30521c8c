#include "IconButton.h"

#include "common/Resources.h"

namespace scup {

void CIconButton::Attach(HWND, int controlId, UINT iconId) {
    m_nControlId = controlId;
    m_hIcon = static_cast<HICON>(
        LoadImageW(ResourceModule(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, m_nSize, m_nSize, LR_SHARED));
}

void CIconButton::ClickFocusedButton(HWND dialog) {
    HWND focus = GetFocus();
    if (!focus || GetParent(focus) != dialog || !IsWindowEnabled(focus)) return;
    wchar_t className[16] = {};
    GetClassNameW(focus, className, 16);
    if (_wcsicmp(className, L"Button") != 0) return;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
}

bool CIconButton::Draw(const DRAWITEMSTRUCT& item) const {
    if (static_cast<int>(item.CtlID) != m_nControlId) return false;
    RECT rect = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    FillRect(item.hDC, &rect, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(item.hDC, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    // Images keep their orientation in a mirrored window.
    if (GetLayout(item.hDC) & LAYOUT_RTL) SetLayout(item.hDC, LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED);
    wchar_t caption[128] = {};
    GetWindowTextW(item.hwndItem, caption, 128);
    const int shift = pressed ? 1 : 0;
    if (caption[0]) {
        // A captioned button: the icon at the start, the caption centred in what is left.
        constexpr int kPadding = 6;
        RECT textRect = rect;
        textRect.left += kPadding + m_nSize;
        OffsetRect(&textRect, shift, shift);
        if (m_hIcon) {
            const int y = rect.top + (rect.bottom - rect.top - m_nSize) / 2 + shift;
            DrawState(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(m_hIcon), 0,
                      rect.left + kPadding + shift, y, m_nSize, m_nSize,
                      DST_ICON | (disabled ? DSS_DISABLED : 0));
        }
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        HGDIOBJ old =
            SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
        DrawTextW(item.hDC, caption, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(item.hDC, old);
    } else if (m_hIcon) {
        int x = rect.left + (rect.right - rect.left - m_nSize) / 2 + (pressed ? 1 : 0);
        int y = rect.top + (rect.bottom - rect.top - m_nSize) / 2 + (pressed ? 1 : 0);
        if (disabled)
            DrawState(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(m_hIcon), 0, x, y, m_nSize, m_nSize,
                      DST_ICON | DSS_DISABLED);
        else
            DrawIconEx(item.hDC, x, y, m_hIcon, m_nSize, m_nSize, 0, nullptr, DI_NORMAL);
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = rect;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(item.hDC, &focus);
    }
    return true;
}

}  // namespace scup
