#include "RegionMenu.h"

#include <algorithm>

namespace scup {
namespace {

// Item data: the region's index plus one, so that an item without data is never taken for one.
ULONG_PTR DataOf(size_t index) { return static_cast<ULONG_PTR>(index) + 1; }

HFONT MenuFont(UniqueFont& owned) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!owned && SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        owned.reset(CreateFontIndirectW(&metrics.lfMenuFont));
    return owned ? owned.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace

void CRegionMenu::Build(HMENU popup, UINT firstCommand, const std::vector<std::wstring>& regions) {
    if (!popup) return;
    while (GetMenuItemCount(popup) > 0) DeleteMenu(popup, 0, MF_BYPOSITION);
    m_texts = regions;
    for (size_t i = 0; i < m_texts.size(); ++i)
        AppendMenuW(popup, MF_OWNERDRAW, firstCommand + static_cast<UINT>(i),
                    reinterpret_cast<LPCWSTR>(DataOf(i)));
}

void CRegionMenu::Check(HMENU popup, UINT firstCommand, int index) const {
    for (size_t i = 0; i < m_texts.size(); ++i)
        CheckMenuItem(popup, firstCommand + static_cast<UINT>(i),
                      MF_BYCOMMAND | (static_cast<int>(i) == index ? MF_CHECKED : MF_UNCHECKED));
}

const std::wstring* CRegionMenu::TextOf(ULONG_PTR data) const {
    return data >= 1 && data <= m_texts.size() ? &m_texts[data - 1] : nullptr;
}

bool CRegionMenu::Measure(HWND window, MEASUREITEMSTRUCT& item) const {
    const std::wstring* text = item.CtlType == ODT_MENU ? TextOf(item.itemData) : nullptr;
    if (!text) return false;
    HDC dc = GetDC(window);
    UniqueFont font;
    HGDIOBJ old = SelectObject(dc, MenuFont(font));
    SIZE size{};
    GetTextExtentPoint32W(dc, text->c_str(), static_cast<int>(text->size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    item.itemWidth = static_cast<UINT>(size.cx + kTextIndent + 8);
    item.itemHeight = static_cast<UINT>(std::max<LONG>(size.cy + 4, GetSystemMetrics(SM_CYMENU)));
    return true;
}

HFONT CRegionMenu::MarkFont(HDC dc) {
    if (!m_markFont) {
        LOGFONTW lf{};
        lf.lfHeight = -MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72);
        lf.lfCharSet = SYMBOL_CHARSET;
        lstrcpynW(lf.lfFaceName, L"Wingdings", LF_FACESIZE);
        m_markFont.reset(CreateFontIndirectW(&lf));
    }
    return m_markFont.get();
}

void CRegionMenu::DrawMark(HDC dc, const RECT& itemRect, COLORREF colour) {
    HGDIOBJ old = SelectObject(dc, MarkFont(dc));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    if (lstrcmpiW(face, L"Wingdings") == 0) {
        RECT mark = itemRect;
        mark.left += kMarkIndent;
        // "l" in Wingdings is a filled dot.
        DrawTextW(dc, L"l", 1, &mark, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else {
        // A system without the font would show a plain letter: the dot is drawn instead.
        constexpr int kDot = 6;
        const int top = (itemRect.top + itemRect.bottom - kDot) / 2;
        UniqueBrush brush(CreateSolidBrush(colour));
        HGDIOBJ oldBrush = SelectObject(dc, brush.get());
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
        Ellipse(dc, itemRect.left + kMarkIndent, top, itemRect.left + kMarkIndent + kDot + 1, top + kDot + 1);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
    }
    SelectObject(dc, old);
}

bool CRegionMenu::Draw(const DRAWITEMSTRUCT& item) {
    const std::wstring* text = item.CtlType == ODT_MENU ? TextOf(item.itemData) : nullptr;
    if (!text) return false;
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & (ODS_DISABLED | ODS_GRAYED)) != 0;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    COLORREF colour = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    if (disabled) colour = GetSysColor(COLOR_GRAYTEXT);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, colour);

    if (item.itemState & ODS_CHECKED) DrawMark(dc, item.rcItem, colour);
    UniqueFont font;
    HGDIOBJ old = SelectObject(dc, MenuFont(font));
    RECT textRect = item.rcItem;
    textRect.left += kTextIndent;
    DrawTextW(dc, text->c_str(), static_cast<int>(text->size()), &textRect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    return true;
}

}  // namespace scup
