#include "InstallDialogs.h"

#include "AppMainWindow.h"
#include "CantCommDialog.h"
#include "DevProgDlg.h"
#include "FirmUpDialog.h"
#include "TrProgressDlg.h"
#include "common/DirectionMark.h"
#include "res/firmware_ids.h"

namespace scup {
namespace {

constexpr DWORD kWaitSliceMs = 1000;

bool ConfirmTransfer(LANGID language, HWND owner) {
    CFirmUpDialog dialog(language, owner);
    return dialog.DoModal() == IDOK;
}

bool RetryConnection(LANGID language, HWND owner) {
    CCantCommDialog dialog(language, owner);
    return dialog.DoModal() == CCantCommDialog::kRetry;
}

bool RunTransfer(LANGID language, HWND owner, std::uint32_t totalWeight,
                 const std::function<void(const TransferProgress&)>& work) {
    CTrProgressDlg dialog(language, owner);
    CTrProgressDlg::State().totalWeight = totalWeight;
    dialog.SetWork([&work] { work([](int percent) { return CTrProgressDlg::Progress(percent); }); });
    return dialog.DoModal() == IDOK;
}

void WaitForInstaller(LANGID language, const std::wstring& note, bool rightToLeft, HANDLE process) {
    CDevProgDlg dialog(language);
    dialog.Create();
    HWND window = dialog.GetSafeHwnd();
    if (window) {
        std::wstring text = note;
        const bool rtlLayout = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
        if (rtlLayout != rightToLeft) text = LedLeftToRight(text);
        HWND label = dialog.Item(IDC_DEV_TEXT);
        SetWindowLongW(label, GWL_STYLE, GetWindowLongW(label, GWL_STYLE) | SS_ENDELLIPSIS);
        SetWindowTextW(label, text.c_str());
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }
    while (WaitForSingleObject(process, kWaitSliceMs) == WAIT_TIMEOUT) {
        MSG message;
        if (window && PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (window) dialog.DestroyModeless();
}

}  // namespace

SInstallDialogs StandardInstallDialogs() {
    return {AppMainWindow, ConfirmTransfer, RetryConnection, RunTransfer, WaitForInstaller};
}

}  // namespace scup
