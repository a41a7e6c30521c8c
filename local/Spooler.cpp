#include "Spooler.h"

#include "PrinterDriver.h"

std::vector<SSpoolerPrinter> EnumSpoolerPrinters() {
    std::vector<SSpoolerPrinter> printers;
    CSpoolerPrinterInfo info;
    if (!info.Enumerate(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) return printers;
    for (DWORD i = 0; i < info.GetCount(); ++i)
        printers.push_back(
            {SpoolerText(info[i].pPrinterName), SpoolerText(info[i].pDriverName), info[i].Attributes});
    return printers;
}
