#pragma once
// The main dialog's printer and region boxes act only when their drop-down list closes. So that the
// keyboard cannot change the choice behind the user's back, the arrow and paging keys open the
// list instead of stepping through it, and the mouse wheel does nothing over a box.

#include <windows.h>

namespace scup {

// Gives the box that behaviour for as long as it exists.
void AttachDropDownKeys(HWND comboBox);

// Virtual keys 33 to 40: page up and down, end, home and the four arrows.
bool IsDropDownOpeningKey(WPARAM virtualKey);

}  // namespace scup
