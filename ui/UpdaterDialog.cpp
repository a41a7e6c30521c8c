#include "UpdaterDialog.h"

#include "common/Format.h"
#include "res/resource_ids.h"

namespace {
constexpr UINT WM_AU_PROGRESS = WM_APP + 10;
constexpr UINT WM_AU_FILL_LIST = WM_APP + 11;
}  // namespace

CUpdaterDialog::CUpdaterDialog(LANGID language, std::wstring printer, LCID locale, HWND parent)
    : CLangDialog(language, IDD_UPDATER, parent), m_strPrinter(std::move(printer)), m_nLocale(locale) {}

INT_PTR CUpdaterDialog::Run(int mode) {
    m_bFirmwareMode = mode == 1 ? 1 : 0;
    return DoModal();
}

BOOL CUpdaterDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    SetDlgItemTextW(GetSafeHwnd(), IDC_UPD_PRINTER, m_strPrinter.c_str());
    SetPropW(GetSafeHwnd(), scup::kInstanceWindowProperty, reinterpret_cast<HANDLE>(1));
    FillList();
    UpdateControlStates();
    Signal(L"CHECK_EVENT");
    return TRUE;
}

void CUpdaterDialog::Signal(const wchar_t* eventName) {
    scup::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
    if (event) SetEvent(event.get());
}

void CUpdaterDialog::ShowProgress(int mode) {
    HWND hwnd = GetSafeHwnd();
    if (hwnd) PostMessageW(hwnd, WM_AU_PROGRESS, mode, 0);
}

void CUpdaterDialog::SetUpdates(const RefinedList& updates) {
    {
        std::lock_guard lock(m_updatesMutex);
        m_mapUpdates = updates;
    }
    m_bLocalFiles = false;
    if (HWND hwnd = GetSafeHwnd()) PostMessageW(hwnd, WM_AU_FILL_LIST, 0, 0);
}

void CUpdaterDialog::ClearList() { SetUpdates({}); }

bool CUpdaterDialog::HasFirmwareEntries(const std::wstring& printer) const {
    std::lock_guard lock(m_updatesMutex);
    auto it = m_mapUpdates.find(printer);
    if (it == m_mapUpdates.end()) return false;
    for (const auto& [key, info] : it->second)
        if (info.strCategory == L"FIRM" && info.strId.rfind(L"FP-", 0) == 0) return true;
    return false;
}

void CUpdaterDialog::FillList() {
    HWND list = Item(IDC_UPD_LIST);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    std::lock_guard lock(m_updatesMutex);
    auto it = m_mapUpdates.find(m_strPrinter);
    if (it == m_mapUpdates.end()) return;
    for (const auto& [key, info] : it->second) {
        // A refined list may hold a record that matched nothing and applies to nothing.
        if (info.strId.empty()) continue;
        std::wstring row = scup::FormatText(L"%s  %s  %s", info.strId.c_str(), info.strSpec.c_str(),
                                            info.strInstalledVersion.c_str());
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
}

void CUpdaterDialog::UpdateControlStates() {
    const BOOL ready = m_bIdle.load() != 0;
    EnableWindow(Item(IDC_UPD_REFRESH), ready);
    EnableWindow(Item(IDC_UPD_INSTALL), ready && SendMessageW(Item(IDC_UPD_LIST), LB_GETCOUNT, 0, 0) > 0);
    EnableWindow(Item(IDCANCEL), ready);
}

void CUpdaterDialog::OnCancel() {
    // Closing while the update thread works would leave it writing to a dialog that is gone.
    if (m_bIdle.load()) EndDialog(IDCANCEL);
}

bool CUpdaterDialog::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_UPD_REFRESH && code == BN_CLICKED) {
        if (m_bIdle.load()) Signal(L"REFRESH_EVENT");
        return true;
    }
    if (id == IDC_UPD_INSTALL && code == BN_CLICKED) {
        if (m_bIdle.load()) Signal(L"START_EVENT");
        return true;
    }
    return CLangDialog::OnCommand(id, code, control);
}

INT_PTR CUpdaterDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
        case scup::WM_AU_READY:
            UpdateControlStates();
            handled = true;
            return TRUE;
        case WM_AU_PROGRESS:
            m_nProgress = static_cast<int>(wParam);
            SetDlgItemTextW(GetSafeHwnd(), IDC_UPD_STATUS, m_nProgress ? L"..." : L"");
            handled = true;
            return TRUE;
        case WM_AU_FILL_LIST:
            FillList();
            UpdateControlStates();
            handled = true;
            return TRUE;
        default:
            return CLangDialog::OnMessage(message, wParam, lParam, handled);
    }
}

void CUpdaterDialog::OnDestroy() {
    RemovePropW(GetSafeHwnd(), scup::kInstanceWindowProperty);
    CLangDialog::OnDestroy();
}
