#pragma once
// An owner-drawn push button that shows an icon of the resource library. Part of the start or main
// dialog, used on the main thread only.

#include <windows.h>

namespace scup {

class CIconButton {
public:
    CIconButton() = default;
    // Attaches to an owner-drawn button of the dialog.
    void Attach(HWND dialog, int controlId, UINT iconId);
    // Before Attach: the icon's width and height in pixels (32 unless set).
    void SetIconSize(int size) { m_nSize = size; }
    // Draws the button (the icon, and its caption beside it when it has one); returns true when
    // the item is this button.
    bool Draw(const DRAWITEMSTRUCT& item) const;
    int ControlId() const { return m_nControlId; }

    // Enter on a button that draws itself reaches its dialog as IDOK, not as the click that Enter
    // on any other button gives: the dialog's OnOK passes it on to the focused button with this.
    static void ClickFocusedButton(HWND dialog);

private:
    int m_nControlId = 0;
    HICON m_hIcon = nullptr;  // shared resource icon
    int m_nSize = 32;
};

}  // namespace scup
