#pragma once
// The main dialog's region menu: one owner-drawn item per region (commands 450 and up), drawn as
// the system draws a menu, with the chosen region marked by the check mark of the "Wingdings"
// font. Part of the main dialog, used on the main thread only.

#include <windows.h>

#include <string>
#include <vector>

#include "common/Handles.h"

namespace scup {

class CRegionMenu {
  public:
    // Replaces the popup's items by one per region text; command = first + index.
    void Build(HMENU popup, UINT firstCommand, const std::vector<std::wstring>& regions);
    // Sets the check mark on the one item.
    void Check(HMENU popup, UINT firstCommand, int index) const;

    // Both return false for items that are not the menu's own.
    bool Measure(HWND window, MEASUREITEMSTRUCT& item) const;
    bool Draw(const DRAWITEMSTRUCT& item);

  private:
    static constexpr int kTextIndent = 16;
    static constexpr int kMarkIndent = 3;

    const std::wstring* TextOf(ULONG_PTR data) const;
    HFONT MarkFont(HDC dc);
    void DrawMark(HDC dc, const RECT& itemRect, COLORREF colour);

    std::vector<std::wstring> m_texts;
    UniqueFont m_markFont;
};

}  // namespace scup
