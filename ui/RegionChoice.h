#pragma once
// The main dialog's choice of region, offered twice and kept in step: the region box and the
// region menu (commands first and up). A region is a locale the system knows, named in the
// resource library. Part of the main dialog, used on its thread only.

#include <windows.h>

#include <string>
#include <vector>

#include "RegionMenu.h"

namespace scup {

struct SRegion {
    LCID locale;
    std::wstring name;
};

class CRegionChoice {
  public:
    // The regions: locales of strings 200 to 230 that the system knows, named by strings 300 to 330.
    static std::vector<SRegion> Available();

    // Fills the box and the popup (null when the dialog has no menu) with the regions, as many as
    // the commands first to last allow. The locale's region is chosen, else the first; returns the
    // chosen region's locale (the given one when there is no region at all).
    LCID Attach(HWND box, HMENU popup, UINT firstCommand, UINT lastCommand, LCID locale);

    // The region selected in the box becomes the chosen one, in the menu too; its locale, or 0
    // when the box holds no region's selection.
    LCID ChooseFromBox();
    // A region command: the box selects its region, which is then chosen as above.
    LCID ChooseFromMenu(UINT command);

    size_t Count() const { return m_regions.size(); }
    bool Measure(HWND window, MEASUREITEMSTRUCT& item) const { return m_menu.Measure(window, item); }
    bool Draw(const DRAWITEMSTRUCT& item) { return m_menu.Draw(item); }

  private:
    HWND m_box = nullptr;
    HMENU m_popup = nullptr;
    UINT m_firstCommand = 0;
    std::vector<SRegion> m_regions;
    CRegionMenu m_menu;
};

}  // namespace scup
