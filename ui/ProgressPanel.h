#pragma once
// The progress panel over the main dialog, as the update thread's progress mode asks for it: the
// moving bar of a check, the bar and the item of a download or an installation, hidden when the
// work is done. The panel is the process's (see CMessageDialog); a dialog whose window has gone
// must not write into the one a newer dialog shows, so every call names its owner.

#include <windows.h>

#include <string>

#include "install/UpdateListView.h"

namespace scup {

// On the panel's thread: shows the panel for the mode over the owner, or hides it.
void ApplyProgressPanel(HWND owner, ProgressMode mode, LANGID language);
// From any thread: what is downloaded now, and how far.
void ShowProgressItem(HWND owner, const std::wstring& title, LANGID language);
void ShowProgressPercent(HWND owner, int percent);

}  // namespace scup
