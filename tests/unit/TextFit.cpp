#include "TextFit.h"

#include <commctrl.h>

#include "common/Handles.h"

namespace testing_support {
namespace {

struct SControl {
    HWND hwnd;
    int id;
    std::wstring className;
    LONG style;
    std::wstring text;
    RECT client;
    RECT screen;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::vector<SControl> VisibleChildren(HWND dialog) {
    std::vector<SControl> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
        SControl control{child, GetDlgCtrlID(child), ClassOf(child), GetWindowLongW(child, GWL_STYLE),
                         WindowText(child), {}, {}};
        GetClientRect(child, &control.client);
        GetWindowRect(child, &control.screen);
        controls.push_back(std::move(control));
    }
    return controls;
}

bool IsClass(const SControl& control, const wchar_t* name) { return _wcsicmp(control.className.c_str(), name) == 0; }

// Text extent in the control's font; with a width, word-wrapped to it.
SIZE Measure(HWND control, const std::wstring& text, UINT flags, int wrapWidth) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    RECT rect{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring Describe(const SControl& control) {
    return L"control " + std::to_wstring(control.id) + L" (" + control.className + L") '" + control.text + L"'";
}

std::wstring Figures(SIZE need, const RECT& room) {
    return L"needs " + std::to_wstring(need.cx) + L"x" + std::to_wstring(need.cy) + L" px, has " +
           std::to_wstring(room.right) + L"x" + std::to_wstring(room.bottom);
}

// A static text as the static control draws it: wrapped unless it is a one-line style.
void CheckStatic(const SControl& control, const SFitOptions& options, std::vector<std::wstring>& problems) {
    const LONG type = control.style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP)
        return;
    if (control.text.empty() || options.ellipsisAllowed.count(control.id) || (control.style & SS_ELLIPSISMASK))
        return;
    UINT flags = DT_EXPANDTABS | ((control.style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    const bool oneLine = type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
    flags |= oneLine ? DT_SINGLELINE : DT_WORDBREAK;
    const SIZE need = Measure(control.hwnd, control.text, flags, control.client.right);
    if (need.cx > control.client.right || need.cy > control.client.bottom)
        problems.push_back(Describe(control) + L": " + Figures(need, control.client));
}

void CheckButton(const SControl& control, const SFitOptions& options, std::vector<std::wstring>& problems) {
    if (control.text.empty()) return;
    const LONG type = control.style & BS_TYPEMASK;
    int reserved = 0;
    switch (type) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
        case BS_OWNERDRAW:
            // Border and focus rectangle on both sides; an icon takes its width and a gap.
            reserved = 8 + (options.buttonsWithIcon.count(control.id) ? 16 + 6 : 0);
            break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            // The box and the gap after it.
            reserved = GetSystemMetrics(SM_CXMENUCHECK) + 4;
            break;
        case BS_GROUPBOX:
            reserved = 16;
            break;
        default:
            return;
    }
    const bool wraps = (control.style & BS_MULTILINE) != 0;
    const int room = control.client.right - reserved;
    const SIZE need = Measure(control.hwnd, control.text, wraps ? DT_WORDBREAK : DT_SINGLELINE, wraps ? room : 0);
    if (need.cx > room || need.cy > control.client.bottom)
        problems.push_back(Describe(control) + L": " + Figures({need.cx + reserved, need.cy}, control.client));
}

// Every column heading of a report list in the header's font, with the header's margins.
void CheckColumns(const SControl& control, std::vector<std::wstring>& problems) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(control.hwnd, LVM_GETHEADER, 0, 0));
    if (!header) return;
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        RECT rect{};
        SendMessageW(header, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rect));
        if (!text[0]) continue;
        const SIZE need = Measure(header, text, DT_SINGLELINE, 0);
        const int room = rect.right - rect.left - 12;  // the header's text margins
        if (need.cx > room)
            problems.push_back(Describe(control) + L" column " + std::to_wstring(i) + L" '" + text + L"': needs " +
                               std::to_wstring(need.cx + 12) + L" px, has " +
                               std::to_wstring(rect.right - rect.left));
    }
}

// Controls that show a text or take input; frames and pictures may lie under them by design.
bool ShowsContent(const SControl& control) {
    if (IsClass(control, L"Static")) {
        const LONG type = control.style & SS_TYPEMASK;
        return (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
                type == SS_LEFTNOWORDWRAP) &&
               !control.text.empty();
    }
    if (IsClass(control, L"Button")) return (control.style & BS_TYPEMASK) != BS_GROUPBOX;
    return IsClass(control, L"Edit") || IsClass(control, L"ComboBox") || IsClass(control, L"ListBox") ||
           IsClass(control, WC_LISTVIEWW);
}

void CheckOverlaps(const std::vector<SControl>& controls, std::vector<std::wstring>& problems) {
    for (size_t i = 0; i < controls.size(); ++i) {
        if (!ShowsContent(controls[i])) continue;
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (!ShowsContent(controls[j])) continue;
            RECT both{};
            if (IntersectRect(&both, &controls[i].screen, &controls[j].screen))
                problems.push_back(Describe(controls[i]) + L" overlaps " + Describe(controls[j]));
        }
    }
}

}  // namespace

std::vector<std::wstring> FindTextOverflows(HWND dialog, const SFitOptions& options) {
    std::vector<std::wstring> problems;
    const std::vector<SControl> controls = VisibleChildren(dialog);
    for (const SControl& control : controls) {
        if (IsClass(control, L"Static"))
            CheckStatic(control, options, problems);
        else if (IsClass(control, L"Button"))
            CheckButton(control, options, problems);
        else if (IsClass(control, WC_LISTVIEWW))
            CheckColumns(control, problems);
    }
    CheckOverlaps(controls, problems);
    return problems;
}

std::vector<std::pair<int, std::wstring>> ControlTexts(HWND dialog) {
    std::vector<std::pair<int, std::wstring>> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        texts.emplace_back(GetDlgCtrlID(child), WindowText(child));
    return texts;
}

}  // namespace testing_support
