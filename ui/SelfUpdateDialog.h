#pragma once
// Asks the user whether the newer updater that the server offers may be downloaded and installed.
// OK (1) consents; anything else declines, which ends the program. Shown by the update thread
// during the self-upgrade, over the main thread's dialog on screen.

#include "LangDialog.h"

namespace scup {

class CSelfUpdateDialog : public CLangDialog {
  public:
    static constexpr INT_PTR kConsent = IDOK;

    explicit CSelfUpdateDialog(LANGID language, HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;
};

}  // namespace scup
