#pragma once
// Finds the program's top-level windows and reads their state from another process.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace scdrive {

struct WindowRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// What a top-level window must match; empty fields match anything.
struct WindowQuery {
    std::wstring property;       // the window carries this window property
    std::wstring className;      // exact window class, e.g. "#32770"
    std::wstring textContains;   // a static child's text contains this
    std::wstring ownerProperty;  // the owner window carries this window property
    HWND owner = nullptr;        // the owner window is this one
    bool mustBeEnabled = false;
};

std::vector<HWND> VisibleTopLevelWindows();
std::optional<HWND> FindWindowMatching(const WindowQuery& query);

std::wstring ClassNameOf(HWND window);
// Reads a window's text through WM_GETTEXT, which also works for controls of another process.
std::wstring TextOf(HWND window);
std::optional<WindowRect> RectOf(HWND window);
bool HasProperty(HWND window, const std::wstring& property);
DWORD ProcessIdOf(HWND window);

// A dialog box or message box: the window class the system gives to both.
bool IsDialogWindow(HWND window);
std::vector<HWND> ChildrenOf(HWND parent);

}  // namespace scdrive
