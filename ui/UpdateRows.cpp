#include "UpdateRows.h"

#include <algorithm>
#include <string>

#include "UpdateRowOrder.h"
#include "common/AppFiles.h"
#include "common/DirectionMark.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "res/history_ids.h"
#include "res/resource_ids.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

// The list's images: row images of bitmap 153 (firmware, application, other) and the check boxes.
constexpr int kImageFirmware = 0;
constexpr int kImageApplication = 1;
constexpr int kSmallImage = 16;

HIMAGELIST LoadImageStrip(UINT bitmapId, int count) {
    HIMAGELIST list = ImageList_Create(kSmallImage, kSmallImage, ILC_COLOR24 | ILC_MASK, count, 0);
    UniqueBitmap strip(static_cast<HBITMAP>(
        LoadImageW(ResourceModule(), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (list && strip) ImageList_AddMasked(list, strip.get(), RGB(255, 0, 255));
    return list;
}

}  // namespace

void CUpdateRows::Attach(HWND list, LANGID language) {
    m_list = list;
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_INFOTIP | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_SUBITEMIMAGES);
    // The list owns its image lists and destroys them with itself.
    if (HIMAGELIST checks = LoadImageStrip(IDB_UPD_CHECK_IMAGES, 2)) {
        if (HIMAGELIST old = ListView_SetImageList(list, checks, LVSIL_STATE)) ImageList_Destroy(old);
    }
    if (HIMAGELIST rows = LoadImageStrip(IDB_UPD_ROW_IMAGES, 3))
        ListView_SetImageList(list, rows, LVSIL_SMALL);
    struct SColumn {
        UINT textId;
        int width;
    };
    // The size heading needs 71 px in Italian ("Dimensione") and Romanian ("Dimensiune"); the title
    // column gives up what the size column needs beyond 70, so the list keeps its width.
    const SColumn columns[] = {{0, 24}, {IDS_COL_TITLE, 198}, {IDS_COL_VERSION, 75}, {IDS_UPD_COL_SIZE, 72}};
    for (int i = 0; i < 4; ++i) {
        std::wstring heading = columns[i].textId ? LoadLangString(columns[i].textId, language) : L"";
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = heading.data();
        column.cx = columns[i].width;
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
}

void CUpdateRows::Fill(std::vector<SAUItemRecord> records) {
    DeleteAll();
    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    for (SAUItemRecord& record : records) Add(std::make_unique<SAUItemRecord>(std::move(record)));
    Sort();
    SelectFirst();
    if (Count() > 0) ListView_EnsureVisible(m_list, 0, FALSE);
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
}

void CUpdateRows::FillWithPackages(const std::vector<std::wstring>& files) {
    DeleteAll();
    for (const std::wstring& file : files) {
        auto record = std::make_unique<SAUItemRecord>();
        record->info.strFilePath = file;
        record->info.strCategory = kFirmwareCategory;
        record->strTitle = FileNameOf(file);
        Add(std::move(record));
    }
    SelectFirst();
}

bool CUpdateRows::ReadsRightToLeft() const {
    return ((GetWindowLongW(m_list, GWL_EXSTYLE) | GetWindowLongW(GetParent(m_list), GWL_EXSTYLE)) &
            WS_EX_LAYOUTRTL) != 0;
}

void CUpdateRows::Add(std::unique_ptr<SAUItemRecord> record) {
    const bool listRightToLeft = ReadsRightToLeft();
    std::wstring title = record->strTitle;
    if (listRightToLeft != (record->bRightToLeft != 0)) title = LedLeftToRight(title);
    std::wstring size = record->strSize;
    if (listRightToLeft && !size.empty()) size = LedLeftToRight(size);
    std::wstring version = record->strVersion;

    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListView_GetItemCount(m_list);
    item.pszText = const_cast<wchar_t*>(L"");
    item.lParam = reinterpret_cast<LPARAM>(record.get());
    const int row = ListView_InsertItem(m_list, &item);
    if (row < 0) return;
    LVITEMW cell{};
    cell.mask = LVIF_TEXT | LVIF_IMAGE;
    cell.iItem = row;
    cell.iSubItem = 1;
    cell.pszText = title.data();
    cell.iImage = StartsWith(record->info.strId, kFirmwarePrefix) ? kImageFirmware : kImageApplication;
    ListView_SetItem(m_list, &cell);
    ListView_SetItemText(m_list, row, 2, version.data());
    ListView_SetItemText(m_list, row, 3, size.data());
    // Updates of what is installed are ticked; new installations are the user's choice.
    ListView_SetCheckState(m_list, row, record->info.nNewInstall == 0);
    m_records.push_back(std::move(record));
}

void CUpdateRows::Delete(int row) {
    SAUItemRecord* record = RecordOf(row);
    ListView_DeleteItem(m_list, row);
    std::erase_if(m_records, [record](const auto& owned) { return owned.get() == record; });
}

void CUpdateRows::DeleteAll() {
    if (m_list) ListView_DeleteAllItems(m_list);
    m_records.clear();
}

void CUpdateRows::Sort() {
    ListView_SortItems(
        m_list,
        [](LPARAM a, LPARAM b, LPARAM) -> int {
            const auto* first = reinterpret_cast<const SAUItemRecord*>(a);
            const auto* second = reinterpret_cast<const SAUItemRecord*>(b);
            return CompareUpdateRows(first->info.strId, first->strTitle, second->info.strId,
                                     second->strTitle);
        },
        0);
}

void CUpdateRows::SelectFirst(bool onlyWithoutSelection) {
    if (Count() == 0) return;
    if (onlyWithoutSelection && ListView_GetNextItem(m_list, -1, LVNI_SELECTED) >= 0) return;
    ListView_SetItemState(m_list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

int CUpdateRows::Count() const { return m_list ? ListView_GetItemCount(m_list) : 0; }

SAUItemRecord* CUpdateRows::RecordOf(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(m_list, &item)) return nullptr;
    return reinterpret_cast<SAUItemRecord*>(item.lParam);
}

const SAUItemRecord* CUpdateRows::Selected() const {
    const int selected = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    return selected >= 0 ? RecordOf(selected) : nullptr;
}

std::vector<SAUTickedRow> CUpdateRows::Ticked() const {
    std::vector<SAUTickedRow> rows;
    const int count = Count();
    for (int row = 0; row < count; ++row) {
        if (!ListView_GetCheckState(m_list, row)) continue;
        if (const SAUItemRecord* record = RecordOf(row)) rows.push_back({row, *record});
    }
    return rows;
}

bool CUpdateRows::AnyTicked() const {
    const int count = Count();
    for (int row = 0; row < count; ++row)
        if (ListView_GetCheckState(m_list, row)) return true;
    return false;
}

}  // namespace scup
