#include "HistoryDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "common/DirectionMark.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "local/AUHistoryLog.h"
#include "res/history_ids.h"
#include "res/resource_ids.h"

namespace scup {
namespace {

constexpr UINT kLanguageCount = IDS_LOCALE_LAST - IDS_LOCALE_FIRST + 1;

struct SColumn {
    UINT heading;
    int width;
};
constexpr SColumn kColumns[] = {{IDS_COL_TITLE, 160},
                                {IDS_COL_VERSION, 80},
                                {IDS_COL_DATE, 80},
                                {IDS_COL_PRINTER, 120},
                                {IDS_COL_LANGUAGE, 80}};
constexpr int kLanguageColumn = 4;

// Plain 16-bit code unit order: no locale rules, case counts, a prefix comes first.
int CompareCodeUnits(const std::wstring& left, const std::wstring& right) {
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        const auto l = static_cast<unsigned short>(left[i]);
        const auto r = static_cast<unsigned short>(right[i]);
        if (l != r) return l < r ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

// The clicked column's texts, taken before the sort starts: while the list sorts, its rows are
// in flux and must not be read back.
struct SSortContext {
    const std::vector<std::wstring>* texts;
    int direction;
};

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM context) {
    const auto* sort = reinterpret_cast<const SSortContext*>(context);
    const std::vector<std::wstring>& texts = *sort->texts;
    const auto a = static_cast<size_t>(first);
    const auto b = static_cast<size_t>(second);
    if (a >= texts.size() || b >= texts.size()) return 0;
    return CompareCodeUnits(texts[a], texts[b]) * sort->direction;
}

}  // namespace

CHistoryDialog::CHistoryDialog(LANGID language, HWND owner) : CLangDialog(language, IDD_HISTORY, owner) {}

std::map<std::wstring, std::wstring> CHistoryDialog::BuildLanguageNames(const StringSource& strings,
                                                                        bool rightToLeft) {
    std::map<std::wstring, std::wstring> names;
    if (!strings) return names;
    for (UINT i = 0; i < kLanguageCount; ++i) {
        const std::optional<std::wstring> locale = strings(IDS_LOCALE_FIRST + i);
        const std::optional<std::wstring> name = strings(IDS_LANGNAME_FIRST + i);
        if (!locale || !name || locale->empty()) continue;
        names[*locale] = rightToLeft ? LedLeftToRight(*name) : *name;
    }
    return names;
}

BOOL CHistoryDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    const bool rightToLeft = (GetWindowLongW(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    m_mapLanguageNames = BuildLanguageNames(FindResString, rightToLeft);
    InsertColumns();
    FillRows();
    return TRUE;
}

void CHistoryDialog::InsertColumns() {
    HWND list = Item(IDC_HISTORY_LIST);
    int index = 0;
    for (const SColumn& column : kColumns) {
        std::wstring heading = LoadLangString(column.heading, m_nLanguage);
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvc.fmt = LVCFMT_LEFT;
        lvc.cx = column.width;
        lvc.pszText = heading.data();
        lvc.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&lvc));
        ++index;
    }
}

void CHistoryDialog::FillRows() {
    std::vector<std::wstring> titles, versions, dates, printers, languages;
    ReadHistory(m_strCategory, titles, versions, dates, printers, languages);
    const size_t rows =
        std::min({titles.size(), versions.size(), dates.size(), printers.size(), languages.size()});
    HWND list = Item(IDC_HISTORY_LIST);
    for (size_t n = 0; n < rows; ++n) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(n);
        item.pszText = titles[n].data();
        const int row =
            static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) continue;
        SetCell(row, 1, versions[n]);
        SetCell(row, 2, dates[n]);
        SetCell(row, 3, printers[n]);
        auto name = m_mapLanguageNames.find(languages[n]);
        SetCell(row, kLanguageColumn, name == m_mapLanguageNames.end() ? std::wstring() : name->second);
    }
}

void CHistoryDialog::SetCell(int row, int column, const std::wstring& text) {
    std::wstring cell = text;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = cell.data();
    SendMessageW(Item(IDC_HISTORY_LIST), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring CHistoryDialog::CellText(int row, int column) const {
    std::wstring text(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<size_t>(
            SendMessageW(Item(IDC_HISTORY_LIST), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        // A text that filled the buffer may have been cut: read it again into a bigger one.
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

void CHistoryDialog::SortByColumn(int column) {
    if (column < 0 || column >= kColumnSlots) return;
    int& direction = m_nSortDirection[column];
    direction = direction < 1 ? 1 : -1;

    HWND list = Item(IDC_HISTORY_LIST);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> texts;
    texts.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int row = 0; row < count; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        item.lParam = row;
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        texts.push_back(CellText(row, column));
    }
    SSortContext context{&texts, direction};
    SendMessageW(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
                 reinterpret_cast<LPARAM>(CompareRows));
}

INT_PTR CHistoryDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->idFrom == IDC_HISTORY_LIST && header->code == LVN_COLUMNCLICK) {
            SortByColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
            handled = true;
            return TRUE;
        }
    }
    return CLangDialog::OnMessage(message, wParam, lParam, handled);
}

}  // namespace scup
