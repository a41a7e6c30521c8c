#include "MainThreadCalls.h"

#include <atomic>

namespace scup {

namespace {

constexpr wchar_t kWindowClass[] = L"ScUpdaterMainThreadCalls";
// lParam: the const std::function<void()>* to run.
constexpr UINT kRunCall = WM_APP + 0x3f1;

std::atomic<HWND> g_callWindow{nullptr};

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kRunCall) return DefWindowProcW(window, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

}  // namespace

CMainThreadCalls::CMainThreadCalls() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = CallWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when a first instance registered it
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    g_callWindow = m_window;
}

CMainThreadCalls::~CMainThreadCalls() {
    HWND expected = m_window;
    g_callWindow.compare_exchange_strong(expected, nullptr);
    if (m_window) DestroyWindow(m_window);
}

void CallOnMainThread(const std::function<void()>& call) {
    HWND window = g_callWindow.load();
    if (!window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        call();
        return;
    }
    bool ran = false;
    const std::function<void()> counted = [&] {
        ran = true;
        call();
    };
    SendMessageW(window, kRunCall, 0, reinterpret_cast<LPARAM>(&counted));
    // The window went before the main thread took the call (the dialogs have ended): the call
    // runs here, as it would without a main thread.
    if (!ran) call();
}

bool WaitTakingCalls(HANDLE handle, DWORD milliseconds) {
    const ULONGLONG deadline = milliseconds == INFINITE ? 0 : GetTickCount64() + milliseconds;
    for (;;) {
        // Peeking runs the sent messages; posted ones stay for the thread's own loop.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            const ULONGLONG now = GetTickCount64();
            left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        }
        const DWORD rc = MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE, left,
                                                   QS_SENDMESSAGE);
        if (handle && rc == WAIT_OBJECT_0) return true;
        if (rc != WAIT_OBJECT_0 + (handle ? 1 : 0)) return false;
    }
}

}  // namespace scup
