#include "DialogDriver.h"

#include <commctrl.h>

namespace testing_support {
namespace {

constexpr int kAnyControl = -1;

struct SSearch {
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<SSearch*>(data);
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770" &&
        (search->controlId == kAnyControl || GetDlgItem(hwnd, search->controlId))) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
    return true;
}

HWND FindThreadDialog(DWORD threadId, int controlId) {
    SSearch search{controlId, nullptr};
    EnumThreadWindows(threadId, MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForThreadDialog(DWORD threadId, int controlId, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindThreadDialog(threadId, controlId)) != nullptr; }, timeoutMs);
    return found;
}

HWND WaitForAnyThreadDialog(DWORD threadId, DWORD timeoutMs) {
    return WaitForThreadDialog(threadId, kAnyControl, timeoutMs);
}

void ClickButton(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SendCommand(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); }

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring TextOf(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

bool IsShown(HWND window) { return window && IsWindow(window) && IsWindowVisible(window); }

int ProgressPosition(HWND dialog, int id) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), PBM_GETPOS, 0, 0));
}

}  // namespace testing_support
