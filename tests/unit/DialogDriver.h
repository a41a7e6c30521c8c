#pragma once
// Drives the program's dialogs as a user would, from a thread other than the one that runs them:
// finds a thread's dialog by a control it holds, clicks, reads texts and states.

#include <windows.h>

#include <functional>
#include <string>

namespace testing_support {

// Waits until the condition holds, polling; false after the time limit.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// The first visible dialog of the thread that holds a control with this identifier.
HWND FindThreadDialog(DWORD threadId, int controlId);
HWND WaitForThreadDialog(DWORD threadId, int controlId, DWORD timeoutMs = 10000);
// The first visible dialog of the thread, whatever it holds.
HWND WaitForAnyThreadDialog(DWORD threadId, DWORD timeoutMs = 10000);

// The click runs in the dialog's own thread; it returns once the dialog has handled it.
void ClickButton(HWND dialog, int id);
// What Escape or the close box sends.
void SendCommand(HWND dialog, int id);
std::wstring TextOf(HWND window);
std::wstring TextOf(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsShown(HWND window);
int ProgressPosition(HWND dialog, int id);

}  // namespace testing_support
