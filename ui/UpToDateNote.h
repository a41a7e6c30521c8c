#pragma once
// The line that an empty update list shows after a check: everything is up to date, and when
// that was found. It lies on the list itself, below its column headings, in the list's colours.
// Part of the main dialog, used on the main thread only.

#include <windows.h>

#include <string>

namespace scup {

class CUpToDateNote {
  public:
    CUpToDateNote() = default;
    ~CUpToDateNote();
    CUpToDateNote(const CUpToDateNote&) = delete;
    CUpToDateNote& operator=(const CUpToDateNote&) = delete;

    // Makes the note on the list (hidden), with the font the list uses; the control id lets
    // tests and tools find it.
    void Attach(HWND list, int controlId);
    void Show(const std::wstring& text);
    void Hide();
    HWND Window() const { return m_note; }

  private:
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    HWND m_list = nullptr;
    HWND m_note = nullptr;
};

}  // namespace scup
