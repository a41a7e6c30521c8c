#include "StartDialog.h"

#include "app/SingleInstance.h"
#include "common/ProgramEvents.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

CStartDialog::CStartDialog(LANGID language, HWND parent) : CLangDialog(language, IDD_START, parent) {
    m_hExitEvent.reset(OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, scup::kExitEventName));
    if (!m_hExitEvent) m_hExitEvent.reset(CreateEventW(nullptr, TRUE, FALSE, scup::kExitEventName));
}

BOOL CStartDialog::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND hwnd = GetSafeHwnd();
    m_firmwareButton.Attach(hwnd, IDC_START_FIRMWARE, IDI_FIRMWARE_BUTTON);
    m_softwareButton.Attach(hwnd, IDC_START_SOFTWARE, IDI_SOFTWARE_BUTTON);

    m_banner.reset(static_cast<HBITMAP>(
        LoadImageW(scup::ResourceModule(), MAKEINTRESOURCEW(IDB_START_BANNER), IMAGE_BITMAP, 0, 0, 0)));
    // A mirrored window would show the banner's lettering backwards.
    if (HWND picture = Item(IDC_START_PICTURE)) {
        LONG exStyle = GetWindowLongW(picture, GWL_EXSTYLE);
        if (exStyle & WS_EX_LAYOUTRTL) SetWindowLongW(picture, GWL_EXSTYLE, exStyle & ~WS_EX_LAYOUTRTL);
    }
    if (m_banner)
        SendDlgItemMessageW(hwnd, IDC_START_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(m_banner.get()));

    RECT panel{};
    if (HWND frame = Item(IDC_START_PANEL)) {
        GetWindowRect(frame, &panel);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&panel), 2);
        // Mirrored windows give the corners swapped.
        if (panel.left > panel.right) std::swap(panel.left, panel.right);
    }
    SetBand(panel, 0xB99D7F, 0xFFFFFF, 0xEEE6D7);

    SetControlText(IDC_START_INTRO, IDS_START_INTRO);
    SetControlText(IDC_START_FIRMWARE_TITLE, IDS_START_FIRMWARE_TITLE);
    SetControlText(IDC_START_FIRMWARE_TEXT, IDS_START_FIRMWARE_TEXT);
    SetControlText(IDC_START_SOFTWARE_TITLE, IDS_START_SOFTWARE_TITLE);
    SetControlText(IDC_START_SOFTWARE_TEXT, IDS_START_SOFTWARE_TEXT);
    MakeBold(IDC_START_FIRMWARE_TITLE);
    MakeBold(IDC_START_SOFTWARE_TITLE);

    SetPropW(hwnd, scup::kInstanceWindowProperty, reinterpret_cast<HANDLE>(1));
    UpdateControlStates();
    return TRUE;
}

void CStartDialog::UpdateControlStates() {
    const BOOL ready = m_bIdle.load() != 0;
    EnableWindow(Item(IDC_START_FIRMWARE), ready);
    EnableWindow(Item(IDC_START_SOFTWARE), ready);
    // Close stays usable: the user may always leave, even while the server keeps them waiting.
    if (ready)
        SetDlgItemTextW(GetSafeHwnd(), IDC_START_STATUS, L"");
    else
        SetControlText(IDC_START_STATUS, IDS_START_CONNECTING);
    RepaintBehind(IDC_START_STATUS);
}

void CStartDialog::RepaintBehind(int controlId) {
    // A transparent static draws its new text over its old one: the dialog paints the place first.
    RECT place{};
    GetWindowRect(Item(controlId), &place);
    MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&place), 2);
    if (place.left > place.right) std::swap(place.left, place.right);
    RedrawWindow(GetSafeHwnd(), &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CStartDialog::Choose(INT_PTR result) {
    if (m_bIdle.load()) EndDialog(result);
}

void CStartDialog::OnOK() {
    HWND focus = GetFocus();
    if (focus == Item(IDC_START_FIRMWARE))
        Choose(kResultFirmware);
    else if (focus == Item(IDC_START_SOFTWARE))
        Choose(kResultSoftware);
}

void CStartDialog::OnCancel() {
    // While the thread works, the exit event also ends its wait for the server.
    if (m_hExitEvent) SetEvent(m_hExitEvent.get());
    EndDialog(IDCANCEL);
}

bool CStartDialog::OnCommand(UINT id, UINT code, HWND control) {
    if (id == IDC_START_FIRMWARE && code == BN_CLICKED) {
        Choose(kResultFirmware);
        return true;
    }
    if (id == IDC_START_SOFTWARE && code == BN_CLICKED) {
        Choose(kResultSoftware);
        return true;
    }
    return CLangDialog::OnCommand(id, code, control);
}

INT_PTR CStartDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (message) {
        case scup::WM_AU_READY:
            UpdateControlStates();
            handled = true;
            return TRUE;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            handled = m_firmwareButton.Draw(item) || m_softwareButton.Draw(item);
            return handled ? TRUE : FALSE;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) != Item(IDC_START_PICTURE)) {
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                handled = true;
                return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
            }
            return 0;
        default:
            return CLangDialog::OnMessage(message, wParam, lParam, handled);
    }
}

void CStartDialog::OnDestroy() {
    if (GetPropW(GetSafeHwnd(), scup::kInstanceWindowProperty))
        RemovePropW(GetSafeHwnd(), scup::kInstanceWindowProperty);
    SendDlgItemMessageW(GetSafeHwnd(), IDC_START_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, 0);
    m_banner.reset();
    CLangDialog::OnDestroy();
}
