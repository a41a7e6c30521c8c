#pragma once
// Shown while the printer stores what it was sent, once all data has gone out: the transfer
// dialog hands over to it at 100 %. Modeless and without buttons, since nothing can be cancelled
// then; it is centred over its owner, or over the application's main window.
// Lives on the thread that runs the transfer dialog or waits for an installer (the update thread,
// or the main thread for packages sent from disk); the transfer's worker only reads its handle.

#include "LangDialog.h"

namespace scup {

class CDevProgDlg : public CLangDialog {
  public:
    explicit CDevProgDlg(LANGID language, HWND owner = nullptr);

    // Makes the window, hidden.
    bool Create();

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

  private:
    void CentreOver(HWND target);

    HWND m_hOwner;
};

}  // namespace scup
