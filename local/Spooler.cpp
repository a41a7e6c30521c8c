#include "Spooler.h"

#include <winspool.h>

std::vector<SSpoolerPrinter> EnumSpoolerPrinters() {
    std::vector<SSpoolerPrinter> printers;
    DWORD needed = 0, count = 0;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return printers;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) return printers;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        printers.push_back({info[i].pPrinterName ? info[i].pPrinterName : L"",
                            info[i].pDriverName ? info[i].pDriverName : L"", info[i].Attributes});
    return printers;
}
