#include "DetailsLink.h"

#include <algorithm>

#include "DetailsPageAddress.h"
#include "common/LangResources.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

constexpr COLORREF kLinkColour = RGB(0, 102, 204);
constexpr int kLinkHeight = 20;
constexpr int kLinkInset = 4;
// A click this far before the text still opens the page.
constexpr int kLinkSlack = 20;

}  // namespace

void CDetailsLink::Attach(HWND dialog, HWND link, HWND pane, LANGID language) {
    m_dialog = dialog;
    m_link = link;
    m_pane = pane;
    m_language = language;
    ShowWindow(m_link, SW_HIDE);
}

void CDetailsLink::SetAddress(const std::wstring& address) {
    // A link to anything but a web page (a local program, a file) is not offered.
    m_address = IsWebPageAddress(address) ? address : std::wstring();
    Place();
}

void CDetailsLink::Place() {
    const bool shown = !m_address.empty();
    ShowWindow(m_link, shown ? SW_SHOWNA : SW_HIDE);
    m_rect = RECT{0, 0, 0, 0};
    if (!shown) return;
    RECT pane{}, control{};
    GetWindowRect(m_pane, &pane);
    GetWindowRect(m_link, &control);
    MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&pane), 2);
    MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&control), 2);
    const std::wstring caption = LoadLangString(IDS_UPD_DETAILS_LINK, m_language);
    HDC dc = GetDC(m_link);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_link, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(m_link, dc);
    // A mirrored window maps its rectangles with the edges swapped.
    const LONG right = std::max(pane.left, pane.right) - kLinkInset;
    const LONG top = std::min(control.top, control.bottom);
    m_rect = RECT{right - size.cx, top, right, top + kLinkHeight};
}

bool CDetailsLink::Hit(POINT client) const {
    if (m_address.empty() || IsRectEmpty(&m_rect)) return false;
    RECT wide = m_rect;
    wide.left -= kLinkSlack;
    return PtInRect(&wide, client) != FALSE;
}

INT_PTR CDetailsLink::ResultOf(LONG_PTR result) const {
    SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

std::optional<INT_PTR> CDetailsLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) != m_link) return std::nullopt;
            SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColour);
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_LBUTTONDOWN: {
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (!Hit(point) || !m_open || !IsWebPageAddress(m_address)) return std::nullopt;
            m_open(m_dialog, m_address);
            return TRUE;
        }
        case WM_SETCURSOR: {
            if (m_address.empty()) return std::nullopt;
            POINT point{};
            GetCursorPos(&point);
            ScreenToClient(m_dialog, &point);
            if (!Hit(point)) return std::nullopt;
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return ResultOf(TRUE);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace scup
