#include "TrProgressDlg.h"

#include <commctrl.h>

#include <utility>

#include "AppMainWindow.h"
#include "TaskbarProgress.h"
#include "common/DirectionMark.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/firmware_ids.h"

namespace scup {
namespace {

enum TransferDialogMessage : UINT {
    kShowProgress = WM_APP + 0x160,  // lParam const SProgressView*
    kWorkDone,
};

constexpr std::size_t kLongestShownName = 32;

struct SNameToken {
    const wchar_t* token;
    const wchar_t* character;
};
// In this order: the characters that file names cannot hold travel as these tokens.
constexpr SNameToken kNameTokens[] = {
    {L"{cl}", L":"}, {L"{lt}", L"<"}, {L"{mt}", L">"}, {L"{yn}", L"\\"}, {L"{sl}", L"/"},
    {L"{as}", L"*"}, {L"{qt}", L"?"}, {L"{pp}", L"|"}, {L"{dq}", L"\""}, {L"{dm}", L""},
};

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

void SetTextIfChanged(HWND window, const std::wstring& text) {
    if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
}

}  // namespace

STrProgressState& CTrProgressDlg::State() { return TransferProgressState(); }

std::optional<INT_PTR> CTrProgressDlg::AnswerToTheSystem(HWND dialog, UINT message, WPARAM wParam) {
    LONG_PTR answer = 0;
    if (message == WM_POWERBROADCAST)
        answer = wParam == PBT_APMQUERYSUSPEND && Shown().transfer.load() ? BROADCAST_QUERY_DENY : TRUE;
    else if (message == WM_QUERYENDSESSION)
        answer = FALSE;
    else
        return std::nullopt;
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, answer);
    return TRUE;
}

CTrProgressDlg::SShownDialogs& CTrProgressDlg::Shown() {
    static SShownDialogs shown;
    return shown;
}

CTrProgressDlg::CTrProgressDlg(LANGID language, HWND parent)
    : CLangDialog(language, IDD_TR_PROGRESS, parent),
      m_hParent(parent),
      m_nAnimation(IDR_TRANSFER_ANIMATION) {
    State().Reset();
    Shown().transfer = nullptr;
    Shown().device = nullptr;
}

CTrProgressDlg::~CTrProgressDlg() {
    // Without its window the worker's next report stops it.
    if (Shown().transfer.load() == this) Shown().transfer = nullptr;
    if (m_worker.joinable()) m_worker.join();
    Shown().device = nullptr;
}

std::wstring CTrProgressDlg::DisplayName(const std::wstring& name, bool dialogRightToLeft,
                                         bool nameRightToLeft) {
    std::wstring shown = name;
    for (const SNameToken& entry : kNameTokens) shown = ReplaceEvery(shown, entry.token, entry.character);
    if (shown.size() > kLongestShownName) {
        std::size_t keep = kLongestShownName;
        // Never split a character that takes two code units.
        if (IS_HIGH_SURROGATE(shown[keep - 1])) --keep;
        shown = shown.substr(0, keep) + L"...";
    }
    return dialogRightToLeft != nameRightToLeft ? LedLeftToRight(shown) : shown;
}

std::uint64_t CTrProgressDlg::OverallPercentage(std::uint32_t percent, std::uint32_t share,
                                                std::uint32_t done, std::uint32_t total) {
    if (total == 0) return 0;
    const std::uint64_t current = static_cast<std::uint64_t>(percent) * share / 100;
    return (current + done) * 100 / total;
}

BOOL CTrProgressDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    HWND hwnd = GetSafeHwnd();
    m_deviceDialog = std::make_unique<CDevProgDlg>(m_nLanguage, m_hParent);
    if (!m_deviceDialog->Create()) m_deviceDialog.reset();
    Shown().device = m_deviceDialog.get();

    SetWindowTextW(hwnd, AppTitle(m_nLanguage).c_str());
    State().cancelRequested = 0;
    SendMessageW(Item(IDC_TR_ANIMATION), ACM_OPENW, reinterpret_cast<WPARAM>(ResourceModule()),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(m_nAnimation)));
    Shown().transfer = this;
    SendMessageW(Item(IDC_TR_PROGRESS), PBM_SETRANGE32, 0, 100);
    SendMessageW(Item(IDC_TR_PROGRESS), PBM_SETPOS, 0, 0);

    Progress(0);

    // Without a visible owner the dialog needs a task-bar button of its own to be found again.
    if (!m_hParent || !IsWindowVisible(m_hParent))
        SetWindowLongW(hwnd, GWL_EXSTYLE, GetWindowLongW(hwnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    SetForegroundWindow(hwnd);

    if (m_work) StartWorker();
    return TRUE;
}

void CTrProgressDlg::StartWorker() {
    HWND hwnd = GetSafeHwnd();
    m_worker = std::thread([hwnd, work = m_work] {
        {
            ComInit com;
            work();
        }
        PostMessageW(hwnd, kWorkDone, 0, 0);
    });
}

void CTrProgressDlg::OnCancel() {
    // Only a file that may be cancelled can be: the Cancel button is off otherwise, and Escape or
    // the close box must not get round that.
    if (IsWindowEnabled(Item(IDCANCEL))) State().cancelRequested = 1;
}

INT_PTR CTrProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (message == kShowProgress) {
        ShowProgress(*reinterpret_cast<const SProgressView*>(lParam));
        handled = true;
        return TRUE;
    }
    if (message == kWorkDone) {
        FinishWork();
        handled = true;
        return TRUE;
    }
    return CLangDialog::OnMessage(message, wParam, lParam, handled);
}

void CTrProgressDlg::FinishWork() {
    if (m_worker.joinable()) m_worker.join();
    Shown().device = nullptr;
    if (m_deviceDialog && m_deviceDialog->GetSafeHwnd() && IsWindow(m_deviceDialog->GetSafeHwnd()))
        m_deviceDialog->DestroyModeless();
    EndDialog(IDOK);
    Shown().transfer = nullptr;
}

void CTrProgressDlg::OnDestroy() {
    if (Shown().transfer.load() == this) Shown().transfer = nullptr;
    CLangDialog::OnDestroy();
}

bool CTrProgressDlg::DeviceDialogVisible() const {
    CDevProgDlg* device = Shown().device.load();
    HWND hwnd = device ? device->GetSafeHwnd() : nullptr;
    return hwnd && IsWindowVisible(hwnd);
}

int CTrProgressDlg::Progress(int percent) {
    STrProgressState& state = State();
    CTrProgressDlg* dialog = Shown().transfer.load();
    if (!dialog || state.totalWeight.load() == 0 || percent < 0 || percent > 100) return 0;
    return dialog->Report(percent);
}

int CTrProgressDlg::Report(int percent) {
    STrProgressState& state = State();
    if (DeviceDialogVisible()) return 1;
    const bool dialogRightToLeft = (GetWindowLongW(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    SProgressView view;
    view.cancelEnabled = state.cancelEnabled.load() != 0;
    view.name = DisplayName(state.CurrentName(), dialogRightToLeft, state.rightToLeft.load() != 0);
    view.overall = OverallPercentage(static_cast<std::uint32_t>(percent), state.currentShare.load(),
                                     state.doneWeight.load(), state.totalWeight.load());
    if (view.overall >= 100 || m_lastShown != view) {
        m_lastShown = view;
        SendMessageW(GetSafeHwnd(), kShowProgress, 0, reinterpret_cast<LPARAM>(&view));
    }
    return state.cancelRequested.load() == 0 ? 1 : 0;
}

void CTrProgressDlg::ShowProgress(const SProgressView& view) {
    HWND hwnd = GetSafeHwnd();
    EnableWindow(Item(IDCANCEL), view.cancelEnabled);
    SetTextIfChanged(Item(IDC_TR_NAME), view.name);
    if (view.overall <= 100) {
        const int overall = static_cast<int>(view.overall);
        State().lastPercentage = overall;
        SendMessageW(Item(IDC_TR_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(overall), 0);
        SetTextIfChanged(Item(IDC_TR_PERCENT), FormatText(L"%d %%", overall));
        CTaskbarProgress::SetValue(TaskbarWindowFor(hwnd), static_cast<ULONGLONG>(overall), 100);
    }
    if (view.overall >= 100) HandOverToDevice();
}

void CTrProgressDlg::HandOverToDevice() {
    HWND hwnd = GetSafeHwnd();
    ShowWindow(hwnd, SW_HIDE);
    if (m_deviceDialog && m_deviceDialog->GetSafeHwnd()) ShowWindow(m_deviceDialog->GetSafeHwnd(), SW_SHOW);
    HWND taskbar = TaskbarWindowFor(hwnd);
    CTaskbarProgress::SetValue(taskbar, 0, 100);
    CTaskbarProgress::SetState(taskbar, TBPF_NOPROGRESS);
}

}  // namespace scup
