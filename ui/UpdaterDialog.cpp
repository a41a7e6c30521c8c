#include "UpdaterDialog.h"

// After windows.h, which they build on.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>

#include "AltMessageBox.h"
#include "DescriptionPackage.h"
#include "DetailsPageAddress.h"
#include "DropDownBox.h"
#include "HistoryDialog.h"
#include "LanguageMenu.h"
#include "MessageDialog.h"
#include "ProxySettingDlg.h"
#include "TrProgressDlg.h"
#include "UpdateRowOrder.h"
#include "common/AppFiles.h"
#include "common/DirectionMark.h"
#include "common/Format.h"
#include "common/KeepAwake.h"
#include "common/LangResources.h"
#include "common/ProgramEvents.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "install/FirmTransfer.h"
#include "install/PackageFiles.h"
#include "install/TemporaryFolder.h"
#include "install/StoredFileQuery.h"
#include "local/AUConfigXML.h"
#include "local/PrinterDriver.h"
#include "res/firmware_ids.h"
#include "res/history_ids.h"
#include "res/resource_ids.h"
#include "res/updater_ids.h"

using scup::LoadLangString;
using scup::StartsWith;

namespace {

// Places of the popups in the menu bar: File, Update, Region, Tools, Language, Help.
constexpr int kRegionMenuPosition = 2;
constexpr int kLanguageMenuPosition = 4;

constexpr wchar_t kFirmwareExtension[] = L"pd3";
constexpr wchar_t kPackageExtension[] = L"pdz";
constexpr COLORREF kLinkColour = RGB(0, 102, 204);

// The list's images: row images of bitmap 153 (firmware, application, other) and the check boxes.
constexpr int kImageFirmware = 0;
constexpr int kImageApplication = 1;
constexpr int kSmallImage = 16;
constexpr int kLinkHeight = 20;
constexpr int kLinkInset = 4;
constexpr int kLinkSlack = 20;
// The panel sits a little above the centre of the dialog.
constexpr int kPanelRaise = 100;
constexpr UINT kMaxOpenBuffer = 32 * 1024;

enum DialogMessage : UINT {
    kCallOnWindowThread = WM_APP + 0x160,  // lParam: const std::function<void()>*
};

const wchar_t* const kDialogEvents[] = {scup::kStartEventName, scup::kCheckEventName, scup::kRefreshEventName,
                                        scup::kResetServerEventName};

// The note that stands in an empty list when updates were left out, by why; 0 when none were.
UINT NotShownTextId(scup::DescriptionRead why) {
    switch (why) {
        case scup::DescriptionRead::NoUnzipLibrary:
            return IDS_UPD_NOT_SHOWN_UNZIP;
        case scup::DescriptionRead::NoTemporaryFolder:
            return IDS_UPD_NOT_SHOWN_TEMP;
        case scup::DescriptionRead::Damaged:
            return IDS_UPD_NOT_SHOWN_DAMAGED;
        case scup::DescriptionRead::Read:
            break;
    }
    return 0;
}

bool HasExtension(const std::wstring& name, const wchar_t* extension) {
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos) return false;
    const std::wstring found = name.substr(dot + 1);
    return CompareStringOrdinal(found.c_str(), -1, extension, -1, TRUE) == CSTR_EQUAL;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HIMAGELIST LoadImageStrip(UINT bitmapId, int count) {
    HIMAGELIST list = ImageList_Create(kSmallImage, kSmallImage, ILC_COLOR24 | ILC_MASK, count, 0);
    scup::UniqueBitmap strip(static_cast<HBITMAP>(LoadImageW(
        scup::ResourceModule(), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (list && strip) ImageList_AddMasked(list, strip.get(), RGB(255, 0, 255));
    return list;
}

// A message of the dialog: top-most, in front, right to left where the language reads so.
void ShowDialogMessage(HWND owner, const std::wstring& text, LANGID language, UINT icon) {
    scup::ShowMessageBox(owner, text, scup::AppTitle(language),
                         scup::LangMessageBoxStyle(icon | scup::kUpdateFlowMessageBoxFlags, language));
}

void OpenWithShell(HWND owner, const std::wstring& address) {
    ShellExecuteW(owner, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

int TransferThroughPort(const std::wstring& driver, const std::vector<std::wstring>& files) {
    return TransferFirmware(driver, {}, files, nullptr);
}

// While the dialog runs modally its accelerators are translated in the dialog's own loop.
class CAcceleratorHook {
  public:
    CAcceleratorHook(const scup::CDialogBase& dialog, HACCEL accelerators) {
        Current() = {&dialog, accelerators};
        m_hook = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, GetCurrentThreadId());
    }
    ~CAcceleratorHook() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        Current() = {};
    }
    CAcceleratorHook(const CAcceleratorHook&) = delete;
    CAcceleratorHook& operator=(const CAcceleratorHook&) = delete;

  private:
    struct STarget {
        const scup::CDialogBase* dialog = nullptr;
        HACCEL accelerators = nullptr;
    };
    static STarget& Current() {
        thread_local STarget target;
        return target;
    }
    static LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        const STarget& target = Current();
        HWND dialog = target.dialog ? target.dialog->GetSafeHwnd() : nullptr;
        if (code == MSGF_DIALOGBOX && msg && dialog && target.accelerators &&
            (msg->hwnd == dialog || IsChild(dialog, msg->hwnd)) &&
            TranslateAcceleratorW(dialog, target.accelerators, msg))
            return 1;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK m_hook = nullptr;
};

}  // namespace

CUpdaterDialog::CUpdaterDialog(LANGID language, std::wstring printer, LCID locale, HWND parent)
    : CLangDialog(language, IDD_UPDATER, parent),
      m_printer(std::move(printer)),
      m_nLocale(locale),
      m_transfer(TransferThroughPort),
      m_openLink(OpenWithShell) {
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The update thread has normally made the events with their own reset modes already.
    for (const wchar_t* name : kDialogEvents)
        m_events.emplace_back(CreateEventW(nullptr, FALSE, FALSE, name));
    m_hAccelerators = LoadAcceleratorsW(scup::ResourceModule(), MAKEINTRESOURCEW(IDR_UPD_ACCELERATORS));
}

CUpdaterDialog::~CUpdaterDialog() = default;

INT_PTR CUpdaterDialog::Run(UpdateView view) {
    SetView(view);
    CAcceleratorHook keys(*this, m_hAccelerators);
    return DoModal();
}

// ---------------------------------------------------------------------------------------------
// Start

BOOL CUpdaterDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND hwnd = GetSafeHwnd();
    if (HTHEME theme = OpenThemeData(Item(IDC_UPD_THEME), L"ListView")) {
        COLORREF colour = 0;
        if (SUCCEEDED(GetThemeColor(theme, 0, 0, TMT_BORDERCOLOR, &colour))) m_themeColour = colour;
        CloseThemeData(theme);
    }
    m_details.SetColour(m_themeColour);
    m_checkImages = LoadImageStrip(IDB_UPD_CHECK_IMAGES, 2);
    m_rowImages = LoadImageStrip(IDB_UPD_ROW_IMAGES, 3);

    m_hMenu = LoadMenuW(scup::ResourceModule(), MAKEINTRESOURCEW(scup::LangMenuId(IDM_UPDATER, m_nLanguage)));
    if (m_hMenu) {
        RECT before{};
        GetClientRect(hwnd, &before);
        SetMenu(hwnd, m_hMenu);
        // The template leaves no room for the menu bar: the window grows by what the bar takes.
        RECT after{};
        GetClientRect(hwnd, &after);
        RECT window{};
        GetWindowRect(hwnd, &window);
        SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left,
                     window.bottom - window.top + (before.bottom - after.bottom),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetUpView();
    scup::FillLanguageMenu(m_hMenu ? GetSubMenu(m_hMenu, kLanguageMenuPosition) : nullptr,
                           ID_UPD_LANGUAGE_FIRST, m_nLanguage);
    FillPrinterBox();
    FillRegions();
    SetUpList();
    MakeBold(IDC_UPD_HEADER_TITLE);
    MakeUnderline(IDC_UPD_LINK);
    ShowWindow(Item(IDC_UPD_LINK), SW_HIDE);
    scup::AttachDropDownKeys(Item(IDC_UPD_PRINTER));
    scup::AttachDropDownKeys(Item(IDC_UPD_REGION));
    CreateProgressPanel();
    FillRows();
    UpdateControlStates();
    Signal(scup::kCheckEventName);
    SetPropW(hwnd, scup::kInstanceWindowProperty, reinterpret_cast<HANDLE>(1));
    return TRUE;
}

void CUpdaterDialog::SetUpView() {
    const bool firmware = IsFirmwareView();
    m_headerBitmap.reset(static_cast<HBITMAP>(
        LoadImageW(scup::ResourceModule(),
                   MAKEINTRESOURCEW(firmware ? IDB_UPD_FIRMWARE_HEADER : IDB_UPD_SOFTWARE_HEADER),
                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    SetControlText(IDC_UPD_HEADER_TITLE, firmware ? IDS_UPD_FIRMWARE_TITLE : IDS_UPD_SOFTWARE_TITLE);
    SetControlText(IDC_UPD_HEADER_TEXT, firmware ? IDS_UPD_FIRMWARE_TEXT : IDS_UPD_SOFTWARE_TEXT);
    SetControlText(IDC_UPD_INSTALL, firmware ? IDS_UPD_TRANSFER : IDS_UPD_INSTALL);
    if (m_hMenu) DeleteMenu(m_hMenu, firmware ? ID_UPD_INSTALL : ID_UPD_TRANSFER, MF_BYCOMMAND);
    HWND install = Item(IDC_UPD_INSTALL);
    if (!firmware) {
        SendMessageW(install, BCM_SETSHIELD, 0, TRUE);
    } else {
        SendMessageW(install, BM_SETSTYLE, BS_OWNERDRAW, TRUE);
        m_installButton.SetIconSize(kSmallImage);
        m_installButton.Attach(GetSafeHwnd(), IDC_UPD_INSTALL,
                               firmware ? IDI_FIRMWARE_BUTTON : IDI_SOFTWARE_BUTTON);
    }
}

void CUpdaterDialog::FillPrinterBox() {
    std::vector<std::wstring> printers = m_printers;
    if (printers.empty()) EnumFamilyPrinters(nullptr, printers, true);
    const std::wstring chosen = m_printer.Get();
    if (!chosen.empty() && std::find(printers.begin(), printers.end(), chosen) == printers.end())
        printers.push_back(chosen);
    HWND box = Item(IDC_UPD_PRINTER);
    for (const std::wstring& printer : printers) {
        const LRESULT index = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(printer.c_str()));
        if (printer == chosen) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    if (chosen.empty() && !printers.empty()) {
        SendMessageW(box, CB_SETCURSEL, 0, 0);
        m_printer.Set(printers.front());
    }
}

std::vector<CUpdaterDialog::SRegion> CUpdaterDialog::AvailableRegions() {
    std::vector<SRegion> regions;
    for (UINT i = 0; i <= IDS_LOCALE_LAST - IDS_LOCALE_FIRST; ++i) {
        const LCID locale = static_cast<LCID>(scup::ParseDecimal(scup::LoadResString(IDS_LOCALE_FIRST + i)));
        const std::wstring name = scup::LoadResString(IDS_LANGNAME_FIRST + i);
        if (locale == 0 || name.empty() || !IsValidLocale(locale, LCID_SUPPORTED)) continue;
        regions.push_back({locale, name});
    }
    return regions;
}

void CUpdaterDialog::FillRegions() {
    m_regions = AvailableRegions();
    if (m_regions.size() > ID_UPD_REGION_LAST - ID_UPD_REGION_FIRST + 1)
        m_regions.resize(ID_UPD_REGION_LAST - ID_UPD_REGION_FIRST + 1);
    HWND box = Item(IDC_UPD_REGION);
    std::vector<std::wstring> names;
    int chosen = -1;
    for (size_t i = 0; i < m_regions.size(); ++i) {
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_regions[i].name.c_str()));
        names.push_back(m_regions[i].name);
        if (chosen < 0 && m_regions[i].locale == m_nLocale.load()) chosen = static_cast<int>(i);
    }
    // The region the dialog was made for stays chosen; only without one is the first taken.
    if (chosen < 0 && !m_regions.empty()) {
        chosen = 0;
        m_nLocale = m_regions.front().locale;
    }
    if (chosen >= 0) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    // Items are added without sorting, so a box index is a region index.
    HMENU popup = m_hMenu ? GetSubMenu(m_hMenu, kRegionMenuPosition) : nullptr;
    m_regionMenu.Build(popup, ID_UPD_REGION_FIRST, names);
    m_regionMenu.Check(popup, ID_UPD_REGION_FIRST, chosen);
}

void CUpdaterDialog::SetUpList() {
    HWND list = Item(IDC_UPD_LIST);
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_INFOTIP | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_SUBITEMIMAGES);
    // The list owns its image lists and destroys them with itself.
    if (m_checkImages) {
        if (HIMAGELIST old = ListView_SetImageList(list, m_checkImages, LVSIL_STATE)) ImageList_Destroy(old);
    }
    if (m_rowImages) ListView_SetImageList(list, m_rowImages, LVSIL_SMALL);
    struct SColumn {
        UINT textId;
        int width;
    };
    // The size heading needs 71 px in Italian ("Dimensione") and Romanian ("Dimensiune"); the title
    // column gives up what the size column needs beyond 70, so the list keeps its width.
    const SColumn columns[] = {{0, 24}, {IDS_COL_TITLE, 198}, {IDS_COL_VERSION, 75}, {IDS_UPD_COL_SIZE, 72}};
    for (int i = 0; i < 4; ++i) {
        std::wstring heading = columns[i].textId ? LoadLangString(columns[i].textId, m_nLanguage) : L"";
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = heading.data();
        column.cx = columns[i].width;
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    m_upToDate.Attach(list, IDC_UPD_EMPTY);
}

void CUpdaterDialog::CreateProgressPanel() { scup::CMessageDialog::CreatePanel(m_nLanguage, GetSafeHwnd()); }

void CUpdaterDialog::Signal(const wchar_t* eventName) const {
    scup::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
    if (event) SetEvent(event.get());
}

// ---------------------------------------------------------------------------------------------
// Operations of the update thread

void CUpdaterDialog::OnWindowThread(const std::function<void()>& call) const {
    HWND hwnd = GetSafeHwnd();
    if (!hwnd) return;
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
        call();
    else
        SendMessageW(hwnd, kCallOnWindowThread, 0, reinterpret_cast<LPARAM>(&call));
}

void CUpdaterDialog::SetReady(int ready) { scup::SetReadyFlag(m_bIdle, GetSafeHwnd(), ready); }

void CUpdaterDialog::ShowProgress(ProgressMode mode) {
    m_progressMode = mode;
    OnWindowThread([this, mode] { ApplyProgress(mode); });
}

void CUpdaterDialog::ApplyProgress(ProgressMode mode) {
    const auto panel = scup::CMessageDialog::Panel();
    if (!panel || !panel->GetSafeHwnd()) return;
    HWND window = panel->GetSafeHwnd();
    HWND cancel = GetDlgItem(window, IDCANCEL);
    if (mode == ProgressMode::Hidden) {
        ShowWindow(window, SW_HIDE);
        panel->SetProgress(0);
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_APPWINDOW);
        return;
    }
    if (mode == ProgressMode::Checking) {
        panel->BeginIndeterminate();
        panel->SetItemText(IDC_MSG_LINE, LoadLangString(IDS_UPD_CHECKING, m_nLanguage));
    } else {
        panel->SetProgress(0);
        panel->SetItemText(IDC_MSG_LINE, L"");
    }
    // Cancel ends a check as it ends a download: a server that keeps silent never holds the user.
    ShowWindow(cancel, SW_SHOW);
    EnableWindow(cancel, TRUE);
    panel->SetItemText(IDC_MSG_ITEM, L"");
    PresentPanel();
}

void CUpdaterDialog::PresentPanel() {
    const auto panel = scup::CMessageDialog::Panel();
    HWND window = panel ? panel->GetSafeHwnd() : nullptr;
    if (!window) return;
    // Without its owner on the screen the panel needs a task-bar button of its own.
    if (!IsWindowVisible(GetSafeHwnd()))
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    RECT owner{}, own{};
    GetWindowRect(GetSafeHwnd(), &owner);
    GetWindowRect(window, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(window, HWND_TOP, (owner.left + owner.right - width) / 2,
                 (owner.top + owner.bottom - height - kPanelRaise) / 2, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

// The panel is the process's: a dialog whose window has gone must not write into the one a newer
// dialog shows.
void CUpdaterDialog::SetProgressItem(const std::wstring& title) {
    const auto panel = scup::CMessageDialog::Panel();
    if (!panel || !GetSafeHwnd()) return;
    panel->SetItemText(IDC_MSG_LINE, LoadLangString(IDS_UPD_DOWNLOADING, m_nLanguage));
    panel->SetItemText(IDC_MSG_ITEM, title);
}

void CUpdaterDialog::SetProgressPercent(int percent) {
    if (!GetSafeHwnd()) return;
    if (const auto panel = scup::CMessageDialog::Panel()) panel->SetProgress(std::clamp(percent, 0, 100));
}

std::vector<SAUTickedRow> CUpdaterDialog::GetTickedRows() {
    std::vector<SAUTickedRow> rows;
    OnWindowThread([this, &rows] { rows = TickedRowsHere(); });
    return rows;
}

void CUpdaterDialog::SetUpdates(const RefinedList& updates, const SYSTEMTIME& askedAt) {
    {
        std::lock_guard lock(m_updatesMutex);
        m_mapUpdates = updates;
    }
    m_bLocalFiles = 0;
    OnWindowThread([this, askedAt] {
        m_bChecked = true;
        wchar_t time[64] = {};
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &askedAt, nullptr, time, 64);
        m_strCheckedAt = time;
        FillRows();
        UpdateControlStates();
    });
}

void CUpdaterDialog::ClearList() {
    OnWindowThread([this] {
        m_bChecked = false;
        m_upToDate.Hide();
        DeleteAllRows();
        RefreshDetails();
        UpdateControlStates();
    });
}

void CUpdaterDialog::ShowView(bool show) {
    OnWindowThread([this, show] {
        ShowWindow(GetSafeHwnd(), show ? SW_SHOW : SW_HIDE);
        if (show) SetForegroundWindow(GetSafeHwnd());
    });
}

bool CUpdaterDialog::HasFirmwareEntries(const std::wstring& printer) const {
    std::lock_guard lock(m_updatesMutex);
    auto it = m_mapUpdates.find(printer);
    if (it == m_mapUpdates.end()) return false;
    for (const auto& [key, info] : it->second)
        if (info.strCategory == kFirmwareCategory && StartsWith(info.strId, kFirmwarePrefix)) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Rows

SAUItemRecord* CUpdaterDialog::RecordOf(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(Item(IDC_UPD_LIST), &item)) return nullptr;
    return reinterpret_cast<SAUItemRecord*>(item.lParam);
}

void CUpdaterDialog::DeleteAllRows() {
    ListView_DeleteAllItems(Item(IDC_UPD_LIST));
    m_rowRecords.clear();
}

void CUpdaterDialog::DeleteRow(int row) {
    SAUItemRecord* record = RecordOf(row);
    ListView_DeleteItem(Item(IDC_UPD_LIST), row);
    std::erase_if(m_rowRecords, [record](const auto& owned) { return owned.get() == record; });
}

void CUpdaterDialog::InsertRow(std::unique_ptr<SAUItemRecord> record) {
    HWND list = Item(IDC_UPD_LIST);
    const bool listRightToLeft =
        ((GetWindowLongW(list, GWL_EXSTYLE) | GetWindowLongW(GetSafeHwnd(), GWL_EXSTYLE)) &
         WS_EX_LAYOUTRTL) != 0;
    std::wstring title = record->strTitle;
    if (listRightToLeft != (record->bRightToLeft != 0)) title = scup::LedLeftToRight(title);
    std::wstring size = record->strSize;
    if (listRightToLeft && !size.empty()) size = scup::LedLeftToRight(size);
    std::wstring version = record->strVersion;

    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(L"");
    item.lParam = reinterpret_cast<LPARAM>(record.get());
    const int row = ListView_InsertItem(list, &item);
    if (row < 0) return;
    LVITEMW cell{};
    cell.mask = LVIF_TEXT | LVIF_IMAGE;
    cell.iItem = row;
    cell.iSubItem = 1;
    cell.pszText = title.data();
    cell.iImage = StartsWith(record->info.strId, kFirmwarePrefix) ? kImageFirmware : kImageApplication;
    ListView_SetItem(list, &cell);
    ListView_SetItemText(list, row, 2, version.data());
    ListView_SetItemText(list, row, 3, size.data());
    // Updates of what is installed are ticked; new installations are the user's choice.
    ListView_SetCheckState(list, row, record->info.nNewInstall == 0);
    m_rowRecords.push_back(std::move(record));
}

void CUpdaterDialog::SortRows() {
    ListView_SortItems(
        Item(IDC_UPD_LIST),
        [](LPARAM a, LPARAM b, LPARAM) -> int {
            const auto* first = reinterpret_cast<const SAUItemRecord*>(a);
            const auto* second = reinterpret_cast<const SAUItemRecord*>(b);
            return scup::CompareUpdateRows(first->info.strId, first->strTitle, second->info.strId,
                                           second->strTitle);
        },
        0);
}

void CUpdaterDialog::FillList() {
    OnWindowThread([this] {
        FillRows();
        UpdateControlStates();
    });
}

// Files opened from disk are no check: their list never says that all is up to date. Nor does a
// list whose updates could not be shown: it says why.
void CUpdaterDialog::ShowUpToDateNote() {
    if (!m_bChecked || m_bLocalFiles.load() || ListView_GetItemCount(Item(IDC_UPD_LIST)) > 0) {
        m_upToDate.Hide();
        return;
    }
    if (const UINT why = NotShownTextId(m_rowsLeftOut))
        m_upToDate.Show(scup::FillPlaceholders(LoadLangString(why, m_nLanguage), {m_printer.Get()}));
    else
        m_upToDate.Show(scup::FillPlaceholders(LoadLangString(IDS_UPD_UP_TO_DATE, m_nLanguage),
                                               {m_printer.Get(), m_strCheckedAt}));
}

void CUpdaterDialog::FillRows() {
    HWND list = Item(IDC_UPD_LIST);
    DeleteAllRows();
    m_rowsLeftOut = scup::DescriptionRead::Read;
    ComponentList entries;
    {
        std::lock_guard lock(m_updatesMutex);
        auto it = m_mapUpdates.find(m_printer.Get());
        if (it == m_mapUpdates.end()) {
            RefreshDetails();
            ShowUpToDateNote();
            return;
        }
        entries = it->second;
    }
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    const bool firmware = IsFirmwareView();
    const LCID locale = m_nLocale.load();
    int modelId = -2;
    for (const auto& [key, info] : entries) {
        // A refined list may hold a record that matched nothing and applies to nothing.
        if (info.strId.empty()) continue;
        if ((info.strCategory == kSoftwareCategory) == firmware) continue;
        auto record = std::make_unique<SAUItemRecord>();
        record->info = info;
        // A description package that was refused (hostile, damaged) describes nothing to offer.
        const scup::DescriptionRead read =
            scup::ReadDescriptionPackage(m_pUnzip, info.strFilePath, locale, *record);
        if (read != scup::DescriptionRead::Read && !info.strFilePath.empty()) {
            scup::AUTrace(L"Failed: the description of %s was refused; it is not offered.", key.c_str());
            if (m_rowsLeftOut == scup::DescriptionRead::Read || read < m_rowsLeftOut) m_rowsLeftOut = read;
            continue;
        }
        if (record->strTitle.empty()) record->strTitle = info.strName.empty() ? info.strId : info.strName;
        if (record->strLink.empty()) {
            if (modelId == -2) modelId = GetPrinterModelId(m_printer.Get(), false);
            record->strLink = scup::DetailsPageAddressForModel(modelId, firmware ? 1 : 0);
        }
        InsertRow(std::move(record));
    }
    SortRows();
    if (ListView_GetItemCount(list) > 0) {
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, 0, FALSE);
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    RefreshDetails();
    ShowUpToDateNote();
}

std::vector<SAUTickedRow> CUpdaterDialog::TickedRowsHere() const {
    std::vector<SAUTickedRow> rows;
    HWND list = Item(IDC_UPD_LIST);
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) {
        if (!ListView_GetCheckState(list, row)) continue;
        if (const SAUItemRecord* record = RecordOf(row)) rows.push_back({row, *record});
    }
    return rows;
}

bool CUpdaterDialog::AnyRowTicked() const {
    HWND list = Item(IDC_UPD_LIST);
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row)
        if (ListView_GetCheckState(list, row)) return true;
    return false;
}

void CUpdaterDialog::AddLocalPackages(const std::vector<std::wstring>& files) {
    OnWindowThread([this, &files] {
        DeleteAllRows();
        m_bLocalFiles = 1;
        for (const std::wstring& file : files) {
            auto record = std::make_unique<SAUItemRecord>();
            record->info.strFilePath = file;
            record->info.strCategory = kFirmwareCategory;
            record->strTitle = FileNameOf(file);
            InsertRow(std::move(record));
        }
        HWND list = Item(IDC_UPD_LIST);
        if (ListView_GetItemCount(list) > 0)
            ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        RefreshDetails();
        UpdateControlStates();
    });
}

// ---------------------------------------------------------------------------------------------
// Details pane

void CUpdaterDialog::RefreshDetails() {
    HWND list = Item(IDC_UPD_LIST);
    const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    const SAUItemRecord* record = selected >= 0 ? RecordOf(selected) : nullptr;
    if (record && !m_bLocalFiles.load()) {
        m_details.Show(*record, m_nLanguage);
        // A link to anything but a web page (a local program, a file) is not offered.
        m_strLinkURL = scup::IsWebPageAddress(record->strLink) ? record->strLink : std::wstring();
    } else {
        m_details.Clear();
        m_strLinkURL.clear();
    }
    PlaceLink();
    InvalidateRect(Item(IDC_UPD_DETAILS), nullptr, FALSE);
}

void CUpdaterDialog::PlaceLink() {
    HWND link = Item(IDC_UPD_LINK);
    const bool shown = !m_strLinkURL.empty();
    ShowWindow(link, shown ? SW_SHOWNA : SW_HIDE);
    m_linkRect = RECT{0, 0, 0, 0};
    if (!shown) return;
    RECT pane{}, control{};
    GetWindowRect(Item(IDC_UPD_THEME), &pane);
    GetWindowRect(link, &control);
    MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&pane), 2);
    MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&control), 2);
    const std::wstring caption = scup::LoadLangString(IDS_UPD_DETAILS_LINK, m_nLanguage);
    HDC dc = GetDC(link);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(link, dc);
    // A mirrored window maps its rectangles with the edges swapped.
    const LONG right = std::max(pane.left, pane.right) - kLinkInset;
    const LONG top = std::min(control.top, control.bottom);
    m_linkRect = RECT{right - size.cx, top, right, top + kLinkHeight};
}

bool CUpdaterDialog::LinkHit(POINT client) const {
    if (m_strLinkURL.empty() || IsRectEmpty(&m_linkRect)) return false;
    RECT wide = m_linkRect;
    wide.left -= kLinkSlack;
    return PtInRect(&wide, client) != FALSE;
}

// ---------------------------------------------------------------------------------------------
// Commands

void CUpdaterDialog::EnableCommand(UINT id, bool enabled) {
    if (HWND control = Item(static_cast<int>(id))) EnableWindow(control, enabled);
    if (m_hMenu) EnableMenuItem(m_hMenu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CUpdaterDialog::UpdateControlStates() {
    const bool idle = m_bIdle.load() != 0;
    const bool local = m_bLocalFiles.load() != 0;
    const bool firmware = IsFirmwareView();
    const bool ticked = AnyRowTicked();
    EnableCommand(IDC_UPD_REFRESH, idle && !local);
    EnableCommand(ID_UPD_REFRESH, idle && !local);
    EnableCommand(IDC_UPD_INSTALL, idle && ticked);
    EnableCommand(ID_UPD_TRANSFER, idle && ticked);
    EnableCommand(ID_UPD_INSTALL, idle && ticked);
    EnableCommand(IDC_UPD_PRINTER, idle && !firmware);
    EnableCommand(IDC_UPD_REGION, idle && !local);
    EnableCommand(ID_UPD_PROXY, idle);
    EnableCommand(ID_UPD_HISTORY, idle);
    EnableCommand(ID_UPD_ABOUT, idle);
    EnableCommand(ID_UPD_OPEN, idle && firmware);
    EnableCommand(ID_UPD_EXIT, idle);
    EnableCommand(IDCANCEL, idle);
    for (size_t i = 0; i < m_regions.size(); ++i)
        EnableCommand(ID_UPD_REGION_FIRST + static_cast<UINT>(i), idle);
    for (size_t i = 0; i < scup::InterfaceLanguages().size(); ++i)
        EnableCommand(ID_UPD_LANGUAGE_FIRST + static_cast<UINT>(i), idle);
    if (m_hMenu) DrawMenuBar(GetSafeHwnd());
}

void CUpdaterDialog::OnCancel() {
    // The update thread works on this dialog while it is busy: closing waits until it is done.
    if (m_bIdle.load()) EndDialog(IDCANCEL);
}

bool CUpdaterDialog::OnCommand(UINT id, UINT code, HWND control) {
    if (control && id == IDC_UPD_PRINTER) {
        if (code == CBN_CLOSEUP) OnPrinterChosen();
        return true;
    }
    if (control && id == IDC_UPD_REGION) {
        if (code == CBN_CLOSEUP) OnRegionChosen();
        return true;
    }
    if (control && code != BN_CLICKED) return false;
    if (id >= ID_UPD_REGION_FIRST && id <= ID_UPD_REGION_LAST) {
        OnRegionMenu(id);
        return true;
    }
    if (id >= ID_UPD_LANGUAGE_FIRST && id <= ID_UPD_LANGUAGE_LAST) {
        OnLanguageMenu(id);
        return true;
    }
    switch (id) {
        case IDC_UPD_REFRESH:
        case ID_UPD_REFRESH:
            OnRefresh();
            return true;
        case IDC_UPD_INSTALL:
        case ID_UPD_TRANSFER:
        case ID_UPD_INSTALL:
            OnInstall();
            return true;
        case ID_UPD_PROXY:
            OnProxySettings();
            return true;
        case ID_UPD_HISTORY:
            OnHistory();
            return true;
        case ID_UPD_OPEN:
            OnOpenPackages();
            return true;
        case ID_UPD_ABOUT:
            OnAbout();
            return true;
        case ID_UPD_EXIT:
            OnCancel();
            return true;
        default:
            return CLangDialog::OnCommand(id, code, control);
    }
}

// Enter on a button that draws itself (the transfer button) reaches the dialog as IDOK, not as the
// button's click that Enter on any other button gives: it is dispatched by the focus.
void CUpdaterDialog::OnOK() {
    HWND focus = GetFocus();
    if (!focus || GetParent(focus) != GetSafeHwnd() || !IsWindowEnabled(focus)) return;
    wchar_t className[16] = {};
    GetClassNameW(focus, className, 16);
    if (_wcsicmp(className, L"Button") != 0) return;
    SendMessageW(GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
}

void CUpdaterDialog::OnRefresh() {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    ClearList();
    Signal(scup::kRefreshEventName);
}

void CUpdaterDialog::OnPrinterChosen() {
    if (!m_bIdle.load() || IsFirmwareView()) return;
    HWND box = Item(IDC_UPD_PRINTER);
    const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    std::wstring printer(static_cast<size_t>(SendMessageW(box, CB_GETLBTEXTLEN, index, 0)), L'\0');
    SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(printer.data()));
    m_printer.Set(printer.c_str());
    if (m_nLocale.load() == 0) return;
    ClearList();
    Signal(scup::kCheckEventName);
}

void CUpdaterDialog::OnRegionChosen() {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    const LRESULT index = SendMessageW(Item(IDC_UPD_REGION), CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= m_regions.size()) return;
    const LCID locale = m_regions[static_cast<size_t>(index)].locale;
    m_nLocale = locale;
    m_regionMenu.Check(GetSubMenu(m_hMenu, kRegionMenuPosition), ID_UPD_REGION_FIRST,
                       static_cast<int>(index));
    if (!IsValidLocale(locale, LCID_INSTALLED))
        scup::CAltMessageBox(m_nLanguage, GetSafeHwnd(), IDS_MSG_LOCALE_NOT_INSTALLED).Show();
    ClearList();
    Signal(scup::kCheckEventName);
}

void CUpdaterDialog::OnRegionMenu(UINT command) {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    SendMessageW(Item(IDC_UPD_REGION), CB_SETCURSEL, command - ID_UPD_REGION_FIRST, 0);
    OnRegionChosen();
}

// The run ends with the chosen language; its owner opens the dialog again in that language.
void CUpdaterDialog::OnLanguageMenu(UINT command) {
    if (!m_bIdle.load()) return;
    const LANGID language = scup::LanguageOfCommand(command, ID_UPD_LANGUAGE_FIRST);
    if (language == 0 || language == m_nLanguage) return;
    EndDialog(language);
}

void CUpdaterDialog::OnProxySettings() {
    if (!m_bIdle.load() || !m_pConfig) return;
    SAUProxyInfo before;
    m_pConfig->GetProxyInfo(before);
    scup::CProxySettingDlg dialog(m_nLanguage, *m_pConfig, GetSafeHwnd());
    if (dialog.DoModal() != IDOK) return;
    SAUProxyInfo after;
    m_pConfig->GetProxyInfo(after);
    // Only another way to the server calls for a new connection and a new check.
    if (after.bUseProxy == before.bUseProxy && after.strProxyServer == before.strProxyServer) return;
    ClearList();
    Signal(scup::kResetServerEventName);
}

void CUpdaterDialog::OnHistory() {
    if (!m_bIdle.load()) return;
    scup::CHistoryDialog dialog(m_nLanguage, GetSafeHwnd());
    dialog.SetCategory(IsFirmwareView() ? kFirmwareCategory : kSoftwareCategory);
    dialog.DoModal();
}

void CUpdaterDialog::OnAbout() {
    if (!m_bIdle.load()) return;
    ShowDialogMessage(GetSafeHwnd(), LoadLangString(IDS_UPD_ABOUT, m_nLanguage), m_nLanguage,
                      MB_ICONINFORMATION);
}

void CUpdaterDialog::OnOpenPackages() {
    if (!m_bIdle.load() || !IsFirmwareView()) return;
    std::wstring filter = LoadLangString(IDS_UPD_OPEN_FILTER, m_nLanguage);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> buffer(kMaxOpenBuffer, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = GetSafeHwnd();
    open.lpstrFilter = filter.c_str();
    open.lpstrFile = buffer.data();
    open.nMaxFile = kMaxOpenBuffer;
    open.lpstrDefExt = kPackageExtension;
    open.Flags =
        OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&open)) return;
    // One file comes as its path; several as the folder followed by the names, each null-ended.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
    std::vector<std::wstring> files;
    if (parts.size() == 1) {
        files = parts;
    } else {
        for (size_t i = 1; i < parts.size(); ++i) files.push_back(parts[0] + L"\\" + parts[i]);
    }
    if (!files.empty()) AddLocalPackages(files);
}

void CUpdaterDialog::OnInstall() {
    if (!m_bIdle.load()) return;
    if (!m_bLocalFiles.load()) {
        Signal(scup::kStartEventName);
        return;
    }
    TransferLocalPackages();
}

void CUpdaterDialog::TransferLocalPackages() {
    const std::vector<SAUTickedRow> ticked = TickedRowsHere();
    if (ticked.empty()) return;
    for (const SAUTickedRow& row : ticked) {
        if (!FileExists(row.record.info.strFilePath)) {
            scup::ShowLangMessage(GetSafeHwnd(), IDS_MSG_PACKAGE_MISSING, m_nLanguage, MB_ICONSTOP);
            return;
        }
    }
    HWND hwnd = GetSafeHwnd();
    ShowWindow(hwnd, SW_HIDE);
    {
        std::vector<std::unique_ptr<scup::CTemporaryFolder>> folders;
        std::vector<std::wstring> files;
        // Only the packages whose files went to the printer leave the list.
        std::vector<int> sentRows;
        for (const SAUTickedRow& row : ticked) {
            auto folder = std::make_unique<scup::CTemporaryFolder>();
            std::vector<std::wstring> names;
            if (folder->Path().empty() ||
                !scup::UnzipPackage(m_pUnzip, row.record.info.strFilePath, names, folder->Path())) {
                const std::wstring text =
                    scup::FillPlaceholders(LoadLangString(IDS_MSG_PACKAGE_UNREADABLE, m_nLanguage),
                                           {FileNameOf(row.record.info.strFilePath)});
                ShowDialogMessage(hwnd, text, m_nLanguage, MB_ICONSTOP);
                continue;
            }
            sentRows.push_back(row.nRow);
            for (const std::wstring& name : names)
                if (HasExtension(name, kFirmwareExtension)) files.push_back(folder->Path() + L"\\" + name);
            folders.push_back(std::move(folder));
        }
        if (files.empty()) {
            scup::ShowLangMessage(hwnd, IDS_MSG_NO_FIRMWARE_FILE, m_nLanguage, MB_ICONSTOP);
        } else {
            int rc = 0;
            {
                scup::CKeepAwake awake(m_bKeepAwake, ES_AWAYMODE_REQUIRED);
                rc = m_transfer ? m_transfer(m_printer.Get(), files) : kFirmTransferFailed;
            }
            if (rc == kFirmTransferSent) {
                std::sort(sentRows.begin(), sentRows.end());
                for (auto it = sentRows.rbegin(); it != sentRows.rend(); ++it) DeleteRow(*it);
                HWND list = Item(IDC_UPD_LIST);
                if (ListView_GetItemCount(list) > 0 && ListView_GetNextItem(list, -1, LVNI_SELECTED) < 0)
                    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED,
                                          LVIS_SELECTED | LVIS_FOCUSED);
                RefreshDetails();
            }
        }
    }
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateControlStates();
}

// ---------------------------------------------------------------------------------------------
// Messages

INT_PTR CUpdaterDialog::ResultOf(LONG_PTR result) {
    SetWindowLongPtrW(GetSafeHwnd(), DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CUpdaterDialog::OnNotify(const NMHDR& header, bool& handled) {
    if (header.idFrom != IDC_UPD_LIST || header.code != LVN_ITEMCHANGED) return 0;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if (!(change.uChanged & LVIF_STATE)) return 0;
    if ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)
        PostMessageW(GetSafeHwnd(), kRefreshDetailsMessage, 0, 0);
    if ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) UpdateControlStates();
    handled = true;
    return 0;
}

INT_PTR CUpdaterDialog::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (m_regionMenu.Draw(item) || m_installButton.Draw(item)) return TRUE;
    const bool rightToLeft = (GetWindowLongW(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetSafeHwnd(), WM_GETFONT, 0, 0));
    if (item.CtlID == IDC_UPD_DETAILS) {
        HFONT bold = reinterpret_cast<HFONT>(SendMessageW(Item(IDC_UPD_HEADER_TITLE), WM_GETFONT, 0, 0));
        m_details.Paint(item, font, bold ? bold : font, rightToLeft);
        return TRUE;
    }
    if (item.CtlID == IDC_UPD_HEADER_PICTURE) {
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
        scup::DrawKeyedBitmap(item.hDC, item.rcItem, m_headerBitmap.get());
        return TRUE;
    }
    return FALSE;
}

INT_PTR CUpdaterDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
        case kCallOnWindowThread:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            handled = true;
            return TRUE;
        case scup::WM_AU_READY:
            UpdateControlStates();
            handled = true;
            return TRUE;
        case kRefreshDetailsMessage:
            RefreshDetails();
            handled = true;
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), handled);
        case WM_MEASUREITEM:
            if (m_regionMenu.Measure(GetSafeHwnd(), *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
                handled = true;
                return TRUE;
            }
            return 0;
        case WM_DRAWITEM:
            handled = OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) != FALSE;
            return handled ? TRUE : FALSE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Item(IDC_UPD_LINK)) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, kLinkColour);
                SetBkMode(dc, TRANSPARENT);
                handled = true;
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return 0;
        case WM_LBUTTONDOWN: {
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (LinkHit(point) && m_openLink && scup::IsWebPageAddress(m_strLinkURL)) {
                m_openLink(GetSafeHwnd(), m_strLinkURL);
                handled = true;
                return TRUE;
            }
            return 0;
        }
        case WM_SETCURSOR:
            if (!m_strLinkURL.empty()) {
                POINT point{};
                GetCursorPos(&point);
                ScreenToClient(GetSafeHwnd(), &point);
                if (LinkHit(point)) {
                    SetCursor(LoadCursorW(nullptr, IDC_HAND));
                    handled = true;
                    return ResultOf(TRUE);
                }
            }
            return 0;
        case WM_POWERBROADCAST:
            // A suspend would cut a firmware transfer off in the middle.
            handled = true;
            if (wParam == PBT_APMQUERYSUSPEND && scup::CTrProgressDlg::Shown().transfer.load())
                return ResultOf(BROADCAST_QUERY_DENY);
            return ResultOf(TRUE);
        case WM_QUERYENDSESSION:
            handled = true;
            return ResultOf(FALSE);
        default:
            return CLangDialog::OnMessage(message, wParam, lParam, handled);
    }
}

void CUpdaterDialog::OnDestroy() {
    DeleteAllRows();
    m_details.Clear();
    scup::CMessageDialog::DestroyPanel();
    if (LastTransferUsedModeCheck()) SendModeExitCommand(m_printer.Get());
    RemovePropW(GetSafeHwnd(), scup::kInstanceWindowProperty);
    SetMenu(GetSafeHwnd(), nullptr);
    if (m_hMenu) DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    CLangDialog::OnDestroy();
}
