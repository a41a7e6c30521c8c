#include "UpToDateNote.h"

#include <commctrl.h>

#include "common/Format.h"
#include "common/LangResources.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

constexpr UINT_PTR kSubclassId = 0x55544e;  // one subclass of this kind per list

// The note that stands in an empty list when updates were left out, by why; 0 when none were.
UINT NotShownTextId(DescriptionRead why) {
    switch (why) {
        case DescriptionRead::NoUnzipLibrary:
            return IDS_UPD_NOT_SHOWN_UNZIP;
        case DescriptionRead::NoTemporaryFolder:
            return IDS_UPD_NOT_SHOWN_TEMP;
        case DescriptionRead::Damaged:
            return IDS_UPD_NOT_SHOWN_DAMAGED;
        case DescriptionRead::Read:
            break;
    }
    return 0;
}

}  // namespace

CUpToDateNote::~CUpToDateNote() {
    if (m_list) RemoveWindowSubclass(m_list, ListProc, kSubclassId);
}

void CUpToDateNote::Attach(HWND list, int controlId) {
    m_list = list;
    RECT client{};
    GetClientRect(list, &client);
    RECT heading{};
    if (HWND header = ListView_GetHeader(list)) GetWindowRect(header, &heading);
    const int top = static_cast<int>(heading.bottom - heading.top) + 12;
    m_note =
        CreateWindowExW(0, L"Static", L"", WS_CHILD | SS_CENTER | SS_NOPREFIX, 8, top, client.right - 16, 48,
                        list, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), nullptr, nullptr);
    if (!m_note) return;
    SendMessageW(m_note, WM_SETFONT, SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
    // The note's parent is the list, which would paint it grey: it is given the list's colours.
    SetWindowSubclass(list, ListProc, kSubclassId, 0);
}

void CUpToDateNote::Show(const std::wstring& text) {
    if (!m_note) return;
    SetWindowTextW(m_note, text.c_str());
    ShowWindow(m_note, SW_SHOWNA);
}

void CUpToDateNote::Hide() {
    if (m_note) ShowWindow(m_note, SW_HIDE);
}

void CUpToDateNote::ShowAfterCheck(DescriptionRead leftOut, const std::wstring& printer,
                                   const std::wstring& checkedAt, LANGID language) {
    if (const UINT why = NotShownTextId(leftOut))
        Show(FillPlaceholders(LoadLangString(why, language), {printer}));
    else
        Show(FillPlaceholders(LoadLangString(IDS_UPD_UP_TO_DATE, language), {printer, checkedAt}));
}

LRESULT CALLBACK CUpToDateNote::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR) {
    if (message == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(dc, ListView_GetBkColor(list));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace scup
