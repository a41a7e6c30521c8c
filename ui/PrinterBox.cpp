#include "PrinterBox.h"

#include <algorithm>

#include "local/PrinterDriver.h"

namespace scup {

std::wstring FillPrinterBox(HWND box, std::vector<std::wstring> printers, const std::wstring& chosen) {
    if (printers.empty()) EnumFamilyPrinters(nullptr, printers, true);
    if (!chosen.empty() && std::find(printers.begin(), printers.end(), chosen) == printers.end())
        printers.push_back(chosen);
    for (const std::wstring& printer : printers) {
        const LRESULT index = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(printer.c_str()));
        if (printer == chosen) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    if (!chosen.empty() || printers.empty()) return chosen;
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    return printers.front();
}

std::wstring SelectedPrinter(HWND box) {
    const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    std::wstring printer(static_cast<size_t>(SendMessageW(box, CB_GETLBTEXTLEN, index, 0)), L'\0');
    SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(printer.data()));
    return printer.c_str();
}

}  // namespace scup
