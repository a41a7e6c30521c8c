#pragma once
// Tells the user that no printer could be reached and offers to try again: 1 (OK) for retry.

#include "LangDialog.h"

namespace scup {

class CCantCommDialog : public CLangDialog {
  public:
    static constexpr INT_PTR kRetry = IDOK;

    explicit CCantCommDialog(LANGID language, HWND parent = nullptr);
};

}  // namespace scup
