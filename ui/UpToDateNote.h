#pragma once
// The line that an empty update list shows after a check: everything is up to date, and when
// that was found. It lies on the list itself, below its column headings, in the list's colours.
// Part of the main dialog, used on the main thread only.

#include <windows.h>

#include <string>

#include "DescriptionPackage.h"

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
    // After a check that listed nothing for the printer: everything is up to date, checked at the
    // time given, unless updates were left out (leftOut), which the note then says instead.
    void ShowAfterCheck(DescriptionRead leftOut, const std::wstring& printer, const std::wstring& checkedAt,
                        LANGID language);
    HWND Window() const { return m_note; }

  private:
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    HWND m_list = nullptr;
    HWND m_note = nullptr;
};

}  // namespace scup
