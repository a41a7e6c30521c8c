#pragma once
// Progress on a window's task-bar button. Each call makes the shell's task-bar list object,
// uses it once and lets it go, so no thread keeps a shell object between updates; where the shell
// offers none, nothing happens.

#include <windows.h>
// After windows.h, which it builds on.
#include <shobjidl.h>

namespace scup {

class CTaskbarProgress {
  public:
    static void SetState(HWND window, TBPFLAG state);
    static void SetValue(HWND window, ULONGLONG done, ULONGLONG total);
};

}  // namespace scup
