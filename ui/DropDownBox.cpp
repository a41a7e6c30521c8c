#include "DropDownBox.h"

// After windows.h, which it builds on.
#include <commctrl.h>

namespace scup {
namespace {

constexpr UINT_PTR kSubclassId = 0x1166;

LRESULT CALLBACK DropDownProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_MOUSEWHEEL:
            return 0;
        case WM_KEYDOWN:
            if (IsDropDownOpeningKey(wParam) && !SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0)) {
                SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(box, DropDownProc, kSubclassId);
            break;
        default:
            break;
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

}  // namespace

bool IsDropDownOpeningKey(WPARAM virtualKey) { return virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN; }

void AttachDropDownKeys(HWND comboBox) {
    if (comboBox) SetWindowSubclass(comboBox, DropDownProc, kSubclassId, 0);
}

}  // namespace scup
