#include "RegionChoice.h"

#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

namespace scup {

std::vector<SRegion> CRegionChoice::Available() {
    std::vector<SRegion> regions;
    for (UINT i = 0; i <= IDS_LOCALE_LAST - IDS_LOCALE_FIRST; ++i) {
        const LCID locale = static_cast<LCID>(ParseDecimal(LoadResString(IDS_LOCALE_FIRST + i)));
        const std::wstring name = LoadResString(IDS_LANGNAME_FIRST + i);
        if (locale == 0 || name.empty() || !IsValidLocale(locale, LCID_SUPPORTED)) continue;
        regions.push_back({locale, name});
    }
    return regions;
}

LCID CRegionChoice::Attach(HWND box, HMENU popup, UINT firstCommand, UINT lastCommand, LCID locale) {
    m_box = box;
    m_popup = popup;
    m_firstCommand = firstCommand;
    m_regions = Available();
    if (m_regions.size() > lastCommand - firstCommand + 1) m_regions.resize(lastCommand - firstCommand + 1);
    std::vector<std::wstring> names;
    int chosen = -1;
    for (size_t i = 0; i < m_regions.size(); ++i) {
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_regions[i].name.c_str()));
        names.push_back(m_regions[i].name);
        if (chosen < 0 && m_regions[i].locale == locale) chosen = static_cast<int>(i);
    }
    // The region the dialog was made for stays chosen; only without one is the first taken.
    if (chosen < 0 && !m_regions.empty()) {
        chosen = 0;
        locale = m_regions.front().locale;
    }
    if (chosen >= 0) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    // Items are added without sorting, so a box index is a region index.
    m_menu.Build(popup, firstCommand, names);
    m_menu.Check(popup, firstCommand, chosen);
    return locale;
}

LCID CRegionChoice::ChooseFromBox() {
    const LRESULT index = SendMessageW(m_box, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= m_regions.size()) return 0;
    m_menu.Check(m_popup, m_firstCommand, static_cast<int>(index));
    return m_regions[static_cast<size_t>(index)].locale;
}

LCID CRegionChoice::ChooseFromMenu(UINT command) {
    SendMessageW(m_box, CB_SETCURSEL, command - m_firstCommand, 0);
    return ChooseFromBox();
}

}  // namespace scup
