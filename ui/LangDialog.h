#pragma once
// Base of every dialog of the program: the template of the dialog's language, the application
// icon, a remembered screen position, emphasised fonts and a painted gradient band.
// A dialog belongs to the thread that makes and runs it; another thread does only what the dialog
// says it may, such as setting its ready flag.

#include <windows.h>

#include <atomic>
#include <string>

#include "DialogBase.h"
#include "common/Handles.h"

namespace scup {

// Posted by the update thread when it changes a dialog's ready flag.
inline constexpr UINT WM_AU_READY = 0x8002;
// Set on every top-level window of the program, so that a second start finds this instance.
inline constexpr wchar_t kInstanceWindowProperty[] = L"ScriboUpdaterWindow";

// Stores a dialog's ready flag; when the value changes and the window exists, tells the window.
void SetReadyFlag(std::atomic<int>& flag, HWND window, int value);

class CLangDialog : public CDialogBase {
public:
    CLangDialog(LANGID language, UINT baseTemplateId, HWND parent);

    LANGID Language() const { return m_nLanguage; }
    void SetPosition(int x, int y) {
        m_nPosX = x;
        m_nPosY = y;
    }
    int PositionX() const { return m_nPosX; }
    int PositionY() const { return m_nPosY; }

    // Sets the control's text from the language's copy of a string (empty when it is missing).
    void SetControlText(int controlId, UINT baseStringId);
    void MakeBold(int controlId);
    void MakeUnderline(int controlId);

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

    void SetBand(const RECT& rect, COLORREF border, COLORREF start, COLORREF end);
    void PaintBand(HDC dc) const;

    int m_nPosX = 0;
    int m_nPosY = 0;
    HICON m_hIcon = nullptr;  // shared resource icon: not destroyed
    LANGID m_nLanguage;
    UniqueFont m_boldFont;
    UniqueFont m_underlineFont;
    COLORREF m_borderColour = 0;
    COLORREF m_bandStart = 0;
    COLORREF m_bandEnd = 0;
    RECT m_bandRect{0, 0, 0, 0};

private:
    HFONT DerivedFont(int controlId, UniqueFont& slot, bool bold, bool underline);
};

}  // namespace scup
