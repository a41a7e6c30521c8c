#include "LangDialog.h"

#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

namespace scup {

void SetReadyFlag(std::atomic<int>& flag, HWND window, int value) {
    int old = flag.exchange(value);
    if (old != value && window && IsWindow(window)) PostMessageW(window, WM_AU_READY, 0, 0);
}

CLangDialog::CLangDialog(LANGID language, UINT baseTemplateId, HWND parent)
    : CDialogBase(LangTemplateId(baseTemplateId, language), parent), m_nLanguage(language) {
    m_hIcon = static_cast<HICON>(LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 0, 0,
                                            LR_DEFAULTSIZE | LR_SHARED));
}

BOOL CLangDialog::OnInitDialog() {
    if (m_hIcon) {
        SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
        SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    }
    if (m_nPosX != 0 || m_nPosY != 0)
        SetWindowPos(GetSafeHwnd(), nullptr, m_nPosX, m_nPosY, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
    return TRUE;
}

void CLangDialog::OnDestroy() {
    HWND hwnd = GetSafeHwnd();
    if (hwnd && !IsIconic(hwnd)) {
        RECT rect;
        if (GetWindowRect(hwnd, &rect)) {
            m_nPosX = rect.left;
            m_nPosY = rect.top;
        }
    }
}

INT_PTR CLangDialog::OnMessage(UINT message, WPARAM, LPARAM, bool& handled) {
    if (message == WM_PAINT && !IsRectEmpty(&m_bandRect)) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(GetSafeHwnd(), &ps);
        PaintBand(dc);
        EndPaint(GetSafeHwnd(), &ps);
        handled = true;
        return TRUE;
    }
    return 0;
}

void CLangDialog::SetControlText(int controlId, UINT baseStringId) {
    HWND control = Item(controlId);
    if (!control) return;
    SetWindowTextW(control, LoadLangString(baseStringId, m_nLanguage).c_str());
}

HFONT CLangDialog::DerivedFont(int controlId, UniqueFont& slot, bool bold, bool underline) {
    HWND control = Item(controlId);
    if (!control) return nullptr;
    if (!slot) {
        HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        if (!current) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        LOGFONTW lf{};
        if (!GetObjectW(current, sizeof(lf), &lf)) return nullptr;
        if (bold) lf.lfWeight = FW_BOLD;
        if (underline) lf.lfUnderline = TRUE;
        slot.reset(CreateFontIndirectW(&lf));
    }
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(slot.get()), TRUE);
    return slot.get();
}

void CLangDialog::MakeBold(int controlId) { DerivedFont(controlId, m_boldFont, true, false); }
void CLangDialog::MakeUnderline(int controlId) { DerivedFont(controlId, m_underlineFont, false, true); }

void CLangDialog::SetBand(const RECT& rect, COLORREF border, COLORREF start, COLORREF end) {
    m_bandRect = rect;
    m_borderColour = border;
    m_bandStart = start;
    m_bandEnd = end;
}

void CLangDialog::PaintBand(HDC dc) const {
    RECT inner = m_bandRect;
    InflateRect(&inner, -1, -1);
    const int height = inner.bottom - inner.top;
    for (int y = 0; y < height; ++y) {
        auto mix = [&](int a, int b) { return height > 1 ? a + (b - a) * y / (height - 1) : a; };
        COLORREF colour = RGB(mix(GetRValue(m_bandStart), GetRValue(m_bandEnd)),
                              mix(GetGValue(m_bandStart), GetGValue(m_bandEnd)),
                              mix(GetBValue(m_bandStart), GetBValue(m_bandEnd)));
        UniqueBrush brush(CreateSolidBrush(colour));
        RECT row{inner.left, inner.top + y, inner.right, inner.top + y + 1};
        FillRect(dc, &row, brush.get());
    }
    UniqueBrush frame(CreateSolidBrush(m_borderColour));
    FrameRect(dc, &m_bandRect, frame.get());
}

}  // namespace scup
