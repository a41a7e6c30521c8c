#pragma once
// Asks the user to confirm a firmware update before anything is sent. OK confirms. Shown on the
// thread that runs the transfer: the update thread for an install, the main thread for packages
// sent from disk.

#include "LangDialog.h"
#include "common/Handles.h"

namespace scup {

class CFirmUpDialog : public CLangDialog {
  public:
    explicit CFirmUpDialog(LANGID language, HWND parent = nullptr);

  protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;

  private:
    UniqueIcon m_picture;
};

}  // namespace scup
