#pragma once
// The main dialog's menu bar (File, Update, Region, Tools, Language, Help) in the dialog's
// language: set on the dialog, which grows by the bar's height (its template leaves no room for
// it), with the command of the other view taken out and the language menu filled. The menu goes
// with the dialog's window. Part of the main dialog, used on its thread only.

#include <windows.h>

namespace scup {

class CUpdaterMenu {
  public:
    CUpdaterMenu() = default;
    ~CUpdaterMenu() { Detach(); }
    CUpdaterMenu(const CUpdaterMenu&) = delete;
    CUpdaterMenu& operator=(const CUpdaterMenu&) = delete;

    // False when the library holds no menu: the dialog then runs without one.
    bool Attach(HWND dialog, LANGID language, bool firmwareView);
    void Detach();

    // Null without a menu.
    HMENU RegionPopup() const;
    void Enable(UINT command, bool enabled) const;
    // After commands were enabled: the bar shows their new state.
    void Redraw() const;

  private:
    void GrowDialogByTheBar();

    HWND m_dialog = nullptr;
    HMENU m_menu = nullptr;
};

}  // namespace scup
