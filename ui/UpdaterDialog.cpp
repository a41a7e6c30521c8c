#include "UpdaterDialog.h"

// After windows.h, which they build on.
#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include "AcceleratorHook.h"
#include "AltMessageBox.h"
#include "DetailsPageAddress.h"
#include "DropDownBox.h"
#include "HistoryDialog.h"
#include "LanguageMenu.h"
#include "MessageDialog.h"
#include "OfferedRows.h"
#include "PackageChooser.h"
#include "PrinterBox.h"
#include "ProgressPanel.h"
#include "ProxySettingDlg.h"
#include "TrProgressDlg.h"
#include "common/LangResources.h"
#include "common/ProgramEvents.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "install/DiskPackages.h"
#include "install/FirmTransfer.h"
#include "local/AUConfigXML.h"
#include "local/PrinterDriver.h"
#include "res/firmware_ids.h"
#include "res/resource_ids.h"
#include "res/updater_ids.h"

using scup::LoadLangString;
using scup::StartsWith;

namespace {

constexpr int kSmallImage = 16;

const wchar_t* const kDialogEvents[] = {scup::kStartEventName, scup::kCheckEventName, scup::kRefreshEventName,
                                        scup::kResetServerEventName};

void OpenWithShell(HWND owner, const std::wstring& address) {
    ShellExecuteW(owner, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

int TransferThroughPort(const std::wstring& driver, const std::vector<std::wstring>& files) {
    return TransferFirmware(driver, {}, files, nullptr);
}

}  // namespace

CUpdaterDialog::CUpdaterDialog(LANGID language, std::wstring printer, LCID locale, HWND parent)
    : CLangDialog(language, IDD_UPDATER, parent),
      m_printer(std::move(printer)),
      m_nLocale(locale),
      m_transfer(TransferThroughPort) {
    m_link.SetOpener(OpenWithShell);
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
    scup::CAcceleratorHook keys(*this, m_hAccelerators);
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

    m_menu.Attach(hwnd, m_nLanguage, IsFirmwareView());
    SetUpView();
    m_printer.Set(scup::FillPrinterBox(Item(IDC_UPD_PRINTER), m_printers, m_printer.Get()));
    m_nLocale = m_regions.Attach(Item(IDC_UPD_REGION), m_menu.RegionPopup(), ID_UPD_REGION_FIRST,
                                 ID_UPD_REGION_LAST, m_nLocale.load());
    m_rows.Attach(Item(IDC_UPD_LIST), m_nLanguage);
    m_upToDate.Attach(Item(IDC_UPD_LIST), IDC_UPD_EMPTY);
    MakeBold(IDC_UPD_HEADER_TITLE);
    MakeUnderline(IDC_UPD_LINK);
    m_link.Attach(hwnd, Item(IDC_UPD_LINK), Item(IDC_UPD_THEME), m_nLanguage);
    scup::AttachDropDownKeys(Item(IDC_UPD_PRINTER));
    scup::AttachDropDownKeys(Item(IDC_UPD_REGION));
    scup::CMessageDialog::CreatePanel(m_nLanguage, hwnd);
    ShowRows(ReadRows(CopyOfUpdates()));
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

void CUpdaterDialog::Signal(const wchar_t* eventName) const {
    scup::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
    if (event) SetEvent(event.get());
}

// ---------------------------------------------------------------------------------------------
// Operations of the update thread

void CUpdaterDialog::SetReady(int ready) { scup::SetReadyFlag(m_bIdle, GetSafeHwnd(), ready); }

void CUpdaterDialog::ShowProgress(ProgressMode mode) {
    m_progressMode = mode;
    CallOnWindowThread([this, mode] { scup::ApplyProgressPanel(GetSafeHwnd(), mode, m_nLanguage); });
}

void CUpdaterDialog::SetProgressItem(const std::wstring& title) {
    scup::ShowProgressItem(GetSafeHwnd(), title, m_nLanguage);
}

void CUpdaterDialog::SetProgressPercent(int percent) { scup::ShowProgressPercent(GetSafeHwnd(), percent); }

std::vector<SAUTickedRow> CUpdaterDialog::GetTickedRows() {
    std::vector<SAUTickedRow> rows;
    CallOnWindowThread([this, &rows] { rows = m_rows.Ticked(); });
    return rows;
}

void CUpdaterDialog::SetUpdates(const RefinedList& updates, const SYSTEMTIME& askedAt) {
    {
        std::lock_guard lock(m_updatesMutex);
        m_mapUpdates = updates;
    }
    m_bLocalFiles = 0;
    // The description packages are unpacked here, on the thread that did the check.
    scup::SOfferedRows offered = ReadRows(updates);
    CallOnWindowThread([this, askedAt, &offered] {
        m_bChecked = true;
        wchar_t time[64] = {};
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &askedAt, nullptr, time, 64);
        m_strCheckedAt = time;
        ShowRows(std::move(offered));
        UpdateControlStates();
    });
}

void CUpdaterDialog::ClearList() {
    CallOnWindowThread([this] {
        m_bChecked = false;
        m_upToDate.Hide();
        m_rows.DeleteAll();
        RefreshDetails();
        UpdateControlStates();
    });
}

void CUpdaterDialog::ShowView(bool show) {
    CallOnWindowThread([this, show] {
        ShowWindow(GetSafeHwnd(), show ? SW_SHOW : SW_HIDE);
        if (show) SetForegroundWindow(GetSafeHwnd());
    });
}

bool CUpdaterDialog::HasFirmwareEntries(const std::wstring& printer) const {
    std::lock_guard lock(m_updatesMutex);
    return scup::HasFirmwareEntries(m_mapUpdates, printer);
}

// ---------------------------------------------------------------------------------------------
// Rows

// Files opened from disk are no check: their list never says that all is up to date. Nor does a
// list whose updates could not be shown: it says why.
void CUpdaterDialog::ShowUpToDateNote() {
    if (!m_bChecked || m_bLocalFiles.load() || m_rows.Count() > 0) {
        m_upToDate.Hide();
        return;
    }
    m_upToDate.ShowAfterCheck(m_rowsLeftOut, m_printer.Get(), m_strCheckedAt, m_nLanguage);
}

RefinedList CUpdaterDialog::CopyOfUpdates() const {
    std::lock_guard lock(m_updatesMutex);
    return m_mapUpdates;
}

scup::SOfferedRows CUpdaterDialog::ReadRows(const RefinedList& updates) const {
    const std::wstring printer = m_printer.Get();
    const bool firmware = IsFirmwareView();
    scup::SOfferedRows offered =
        scup::ReadOfferedRows(m_pUnzip, updates, printer, firmware, m_nLocale.load());
    int modelId = -2;
    for (SAUItemRecord& row : offered.rows) {
        if (!row.strLink.empty()) continue;
        if (modelId == -2) modelId = GetPrinterModelId(printer, false);
        row.strLink = scup::DetailsPageAddressForModel(modelId, firmware ? 1 : 0);
    }
    return offered;
}

void CUpdaterDialog::ShowRows(scup::SOfferedRows offered) {
    m_rowsLeftOut = offered.leftOut;
    m_rows.Fill(std::move(offered.rows));
    RefreshDetails();
    ShowUpToDateNote();
}

void CUpdaterDialog::AddLocalPackages(const std::vector<std::wstring>& files) {
    CallOnWindowThread([this, &files] {
        m_bLocalFiles = 1;
        m_rows.FillWithPackages(files);
        RefreshDetails();
        UpdateControlStates();
    });
}

void CUpdaterDialog::RefreshDetails() {
    const SAUItemRecord* record = m_rows.Selected();
    if (record && !m_bLocalFiles.load()) {
        m_details.Show(*record, m_nLanguage);
        m_link.SetAddress(record->strLink);
    } else {
        m_details.Clear();
        m_link.SetAddress({});
    }
    InvalidateRect(Item(IDC_UPD_DETAILS), nullptr, FALSE);
}

// ---------------------------------------------------------------------------------------------
// Commands

void CUpdaterDialog::EnableCommand(UINT id, bool enabled) {
    if (HWND control = Item(static_cast<int>(id))) EnableWindow(control, enabled);
    m_menu.Enable(id, enabled);
}

void CUpdaterDialog::UpdateControlStates() {
    const bool idle = m_bIdle.load() != 0;
    const bool local = m_bLocalFiles.load() != 0;
    const bool firmware = IsFirmwareView();
    const bool ticked = m_rows.AnyTicked();
    for (UINT id : {IDC_UPD_REFRESH, ID_UPD_REFRESH, IDC_UPD_REGION}) EnableCommand(id, idle && !local);
    for (UINT id : {IDC_UPD_INSTALL, ID_UPD_TRANSFER, ID_UPD_INSTALL}) EnableCommand(id, idle && ticked);
    for (UINT id : {ID_UPD_PROXY, ID_UPD_HISTORY, ID_UPD_ABOUT, ID_UPD_EXIT, IDCANCEL})
        EnableCommand(id, idle);
    EnableCommand(IDC_UPD_PRINTER, idle && !firmware);
    EnableCommand(ID_UPD_OPEN, idle && firmware);
    for (size_t i = 0; i < m_regions.Count(); ++i)
        EnableCommand(ID_UPD_REGION_FIRST + static_cast<UINT>(i), idle);
    for (size_t i = 0; i < scup::InterfaceLanguages().size(); ++i)
        EnableCommand(ID_UPD_LANGUAGE_FIRST + static_cast<UINT>(i), idle);
    m_menu.Redraw();
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
    // The commands of the buttons and the menu.
    static constexpr struct {
        UINT id;
        void (CUpdaterDialog::*handler)();
    } kCommands[] = {
        {IDC_UPD_REFRESH, &CUpdaterDialog::OnRefresh}, {ID_UPD_REFRESH, &CUpdaterDialog::OnRefresh},
        {IDC_UPD_INSTALL, &CUpdaterDialog::OnInstall}, {ID_UPD_TRANSFER, &CUpdaterDialog::OnInstall},
        {ID_UPD_INSTALL, &CUpdaterDialog::OnInstall},  {ID_UPD_PROXY, &CUpdaterDialog::OnProxySettings},
        {ID_UPD_HISTORY, &CUpdaterDialog::OnHistory},  {ID_UPD_OPEN, &CUpdaterDialog::OnOpenPackages},
        {ID_UPD_ABOUT, &CUpdaterDialog::OnAbout},      {ID_UPD_EXIT, &CUpdaterDialog::OnCancel}};
    for (const auto& command : kCommands) {
        if (command.id != id) continue;
        (this->*command.handler)();
        return true;
    }
    return CLangDialog::OnCommand(id, code, control);
}

// Enter on the transfer button, which draws itself.
void CUpdaterDialog::OnOK() { scup::CIconButton::ClickFocusedButton(GetSafeHwnd()); }

void CUpdaterDialog::OnRefresh() {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    ClearList();
    Signal(scup::kRefreshEventName);
}

void CUpdaterDialog::OnPrinterChosen() {
    if (!m_bIdle.load() || IsFirmwareView()) return;
    const std::wstring printer = scup::SelectedPrinter(Item(IDC_UPD_PRINTER));
    if (printer.empty()) return;
    m_printer.Set(printer);
    if (m_nLocale.load() == 0) return;
    ClearList();
    Signal(scup::kCheckEventName);
}

void CUpdaterDialog::OnRegionChosen() {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    ChooseRegion(m_regions.ChooseFromBox());
}

void CUpdaterDialog::OnRegionMenu(UINT command) {
    if (!m_bIdle.load() || m_bLocalFiles.load()) return;
    ChooseRegion(m_regions.ChooseFromMenu(command));
}

void CUpdaterDialog::ChooseRegion(LCID locale) {
    if (locale == 0) return;
    m_nLocale = locale;
    if (!IsValidLocale(locale, LCID_INSTALLED))
        scup::CAltMessageBox(m_nLanguage, GetSafeHwnd(), IDS_MSG_LOCALE_NOT_INSTALLED).Show();
    ClearList();
    Signal(scup::kCheckEventName);
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
    scup::ShowLangMessage(GetSafeHwnd(), IDS_UPD_ABOUT, m_nLanguage, MB_ICONINFORMATION);
}

void CUpdaterDialog::OnOpenPackages() {
    if (!m_bIdle.load() || !IsFirmwareView()) return;
    const std::vector<std::wstring> files = scup::ChooseFirmwarePackages(GetSafeHwnd(), m_nLanguage);
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
    const scup::SDiskPackagesSend send{m_pUnzip, m_printer.Get(), m_transfer, m_nLanguage};
    const std::vector<int> sent = scup::SendDiskPackages(*this, send, m_bKeepAwake);
    // Only the packages whose files went to the printer leave the list (last row first).
    for (auto it = sent.rbegin(); it != sent.rend(); ++it) m_rows.Delete(*it);
    if (!sent.empty()) {
        m_rows.SelectFirst(true);
        RefreshDetails();
    }
    UpdateControlStates();
}

// ---------------------------------------------------------------------------------------------
// Messages

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
    if (m_regions.Draw(item) || m_installButton.Draw(item)) return TRUE;
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
    std::optional<INT_PTR> answer = m_link.OnMessage(message, wParam, lParam);
    if (!answer) answer = scup::CTrProgressDlg::AnswerToTheSystem(GetSafeHwnd(), message, wParam);
    if (answer) {
        handled = true;
        return *answer;
    }
    switch (message) {
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
            if (m_regions.Measure(GetSafeHwnd(), *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
                handled = true;
                return TRUE;
            }
            return 0;
        case WM_DRAWITEM:
            handled = OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) != FALSE;
            return handled ? TRUE : FALSE;
        default:
            return CLangDialog::OnMessage(message, wParam, lParam, handled);
    }
}

void CUpdaterDialog::OnDestroy() {
    m_rows.DeleteAll();
    m_details.Clear();
    scup::CMessageDialog::DestroyPanel();
    RemovePropW(GetSafeHwnd(), scup::kInstanceWindowProperty);
    m_menu.Detach();
    CLangDialog::OnDestroy();
}
