#pragma once
// The main dialog's printer box: the family's printers, with the chosen one selected.

#include <windows.h>

#include <string>
#include <vector>

namespace scup {

// Fills the box with the printers (the family's installed printers when none are given) and the
// chosen one, which is selected; without a chosen one the first is. Returns the selected printer.
std::wstring FillPrinterBox(HWND box, std::vector<std::wstring> printers, const std::wstring& chosen);

// The printer selected in the box; empty when none is.
std::wstring SelectedPrinter(HWND box);

}  // namespace scup
