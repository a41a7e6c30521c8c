#pragma once
// Whether the texts of a dialog's controls fit them, measured in each control's own font the way
// the controls draw them, and whether controls that show something overlap.

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace testing_support {

struct SFitOptions {
    // Buttons that draw an icon or shield beside their text.
    std::set<int> buttonsWithIcon;
    // Controls whose text is cut with an ellipsis by design.
    std::set<int> ellipsisAllowed;
};

// One line per problem: "control <id> (<class>) '<text>': <what>". Hidden controls are left out.
std::vector<std::wstring> FindTextOverflows(HWND dialog, const SFitOptions& options = {});

// The children of a dialog by control identifier with their texts (static texts, buttons, ...).
std::vector<std::pair<int, std::wstring>> ControlTexts(HWND dialog);

}  // namespace testing_support
