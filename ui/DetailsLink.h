#pragma once
// The link under the main dialog's details pane to the selected update's web page: where it
// stands (right-aligned on the pane, mirrored with the dialog), its colour, the hand over it and
// the click that opens the page. Only a web page is ever offered. Part of the main dialog, used on
// its thread only.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace scup {

class CDetailsLink {
  public:
    using Opener = std::function<void(HWND owner, const std::wstring& address)>;

    // The dialog, its link control (a static text) and the pane the link aligns with.
    void Attach(HWND dialog, HWND link, HWND pane, LANGID language);
    void SetOpener(Opener opener) { m_open = std::move(opener); }

    // Shows the link to the address, or hides it when the address is no web page (or empty).
    void SetAddress(const std::wstring& address);
    const std::wstring& Address() const { return m_address; }

    // The dialog's messages that concern the link (its colour, the cursor over it, a click on it):
    // the dialog procedure's result when one is, else nothing.
    std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void Place();
    bool Hit(POINT client) const;
    INT_PTR ResultOf(LONG_PTR result) const;

    HWND m_dialog = nullptr;
    HWND m_link = nullptr;
    HWND m_pane = nullptr;
    LANGID m_language = 0;
    Opener m_open;
    std::wstring m_address;
    RECT m_rect{0, 0, 0, 0};
};

}  // namespace scup
