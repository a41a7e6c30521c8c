#pragma once
// The application's main window as the progress dialogs see it: they centre over it and mirror
// their progress on its task-bar button while it is visible. The application says where to find
// it; without that there is none.

#include <windows.h>

#include <functional>

namespace scup {

using MainWindowSource = std::function<HWND()>;

void SetMainWindowSource(MainWindowSource source);
// The main window, or none.
HWND AppMainWindow();
// The main window when it is on the screen, else the given window: where progress shows on the
// task bar.
HWND TaskbarWindowFor(HWND fallback);

}  // namespace scup
