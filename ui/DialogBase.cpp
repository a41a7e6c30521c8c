#include "DialogBase.h"

#include "common/Resources.h"

namespace scup {

namespace {

// lParam: the const std::function<void()>* to run. Above the numbers the dialogs use themselves.
constexpr UINT kCallOnWindowThread = WM_APP + 0x3f0;

}  // namespace

CDialogBase::CDialogBase(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialogBase::~CDialogBase() {
    if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

INT_PTR CDialogBase::DoModal() {
    modal_ = true;
    return DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), parent_, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialogBase::CreateModeless() {
    modal_ = false;
    return CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), parent_, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialogBase::DestroyModeless() {
    if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

void CDialogBase::EndDialog(INT_PTR result) {
    if (!hwnd_) return;
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        DestroyWindow(hwnd_);
}

bool CDialogBase::OnCommand(UINT id, UINT, HWND) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR CDialogBase::OnMessage(UINT, WPARAM, LPARAM, bool&) { return 0; }

void CDialogBase::CallOnWindowThread(const std::function<void()>& call) const {
    HWND hwnd = GetSafeHwnd();
    if (!hwnd) return;
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
        call();
    else
        SendMessageW(hwnd, kCallOnWindowThread, 0, reinterpret_cast<LPARAM>(&call));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->OnNcDestroy();
    }
    return result;
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallOnWindowThread) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return TRUE;
    }
    bool handled = false;
    INT_PTR result = OnMessage(message, wParam, lParam, handled);
    if (handled) return result;
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace scup
