#pragma once
// Tells the user that no printer could be reached and offers to try again: 1 (OK) for retry.
// Shown on the thread that needs the printer: the update thread during a check or an install, the
// main thread when firmware packages from disk are sent.

#include "LangDialog.h"

namespace scup {

class CCantCommDialog : public CLangDialog {
  public:
    static constexpr INT_PTR kRetry = IDOK;

    explicit CCantCommDialog(LANGID language, HWND parent = nullptr);
};

}  // namespace scup
