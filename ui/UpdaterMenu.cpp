#include "UpdaterMenu.h"

#include "LanguageMenu.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

// Places of the popups in the menu bar: File, Update, Region, Tools, Language, Help.
constexpr int kRegionMenuPosition = 2;
constexpr int kLanguageMenuPosition = 4;

}  // namespace

bool CUpdaterMenu::Attach(HWND dialog, LANGID language, bool firmwareView) {
    m_dialog = dialog;
    m_menu = LoadMenuW(ResourceModule(), MAKEINTRESOURCEW(LangMenuId(IDM_UPDATER, language)));
    if (!m_menu) return false;
    GrowDialogByTheBar();
    DeleteMenu(m_menu, firmwareView ? ID_UPD_INSTALL : ID_UPD_TRANSFER, MF_BYCOMMAND);
    FillLanguageMenu(GetSubMenu(m_menu, kLanguageMenuPosition), ID_UPD_LANGUAGE_FIRST, language);
    return true;
}

void CUpdaterMenu::GrowDialogByTheBar() {
    RECT before{};
    GetClientRect(m_dialog, &before);
    SetMenu(m_dialog, m_menu);
    RECT after{};
    GetClientRect(m_dialog, &after);
    RECT window{};
    GetWindowRect(m_dialog, &window);
    SetWindowPos(m_dialog, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + (before.bottom - after.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CUpdaterMenu::Detach() {
    if (!m_menu) return;
    if (m_dialog && IsWindow(m_dialog)) SetMenu(m_dialog, nullptr);
    DestroyMenu(m_menu);
    m_menu = nullptr;
}

HMENU CUpdaterMenu::RegionPopup() const { return m_menu ? GetSubMenu(m_menu, kRegionMenuPosition) : nullptr; }

void CUpdaterMenu::Enable(UINT command, bool enabled) const {
    if (m_menu) EnableMenuItem(m_menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CUpdaterMenu::Redraw() const {
    if (m_menu) DrawMenuBar(m_dialog);
}

}  // namespace scup
