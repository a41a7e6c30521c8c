#include "SingleInstance.h"

#include "common/Trace.h"

namespace scup {

CSingleInstance::CSingleInstance() {
    m_mutex.reset(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    // Initial ownership is granted only to the creator; it is held until the instance ends.
    if (m_mutex && GetLastError() != ERROR_ALREADY_EXISTS) m_nLocks = 1;
}

CSingleInstance::~CSingleInstance() {
    for (; m_nLocks > 0; --m_nLocks) ReleaseMutex(m_mutex.get());
}

bool CSingleInstance::TryLock() {
    // An instance of higher rights (the elevated step of a self-upgrade) may hold a mutex that this
    // one cannot open; once it has ended, the name is free to be made again.
    if (!m_mutex) m_mutex.reset(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    if (!m_mutex) return false;
    DWORD rc = WaitForSingleObject(m_mutex.get(), 0);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) return false;
    ++m_nLocks;
    return true;
}

void CSingleInstance::WaitForPrevious() {
    while (!TryLock()) Sleep(100);
    AUTrace(L"Success: previous instance has ended.");
    Sleep(500);
}

bool CSingleInstance::WaitForPrevious(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!TryLock()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(100);
    }
    AUTrace(L"Success: previous instance has ended.");
    Sleep(500);
    return true;
}

namespace {

// The window of the process that the user works in: the topmost one shown and enabled (a message
// box or a modal dialog over the instance's window, or that window itself).
HWND ActiveWindowOfProcess(DWORD process) {
    for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process && IsWindowVisible(window) && IsWindowEnabled(window)) return window;
    }
    return nullptr;
}

}  // namespace

bool ActivateRunningInstance() {
    for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (!GetPropW(window, kInstanceWindowProperty)) continue;
        // The instance's window is disabled while a box or dialog of its own is open over it.
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
        HWND active = ActiveWindowOfProcess(process);
        SetForegroundWindow(active ? active : GetLastActivePopup(window));
        AUTrace(L"Success: running instance brought forward.");
        return true;
    }
    AUTrace(L"Failed: another instance runs but shows no window.");
    return false;
}

}  // namespace scup
