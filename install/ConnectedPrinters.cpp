#include "ConnectedPrinters.h"

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "common/Text.h"
#include "common/Trace.h"
#include "local/PrinterDriver.h"

using scup::StartsWithNoCase;

namespace {

constexpr DWORD kBidirectional = 0x800;  // PRINTER_ATTRIBUTE_ENABLE_BIDI

struct PrinterHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE printer) noexcept { ::ClosePrinter(printer); }
};
using UniquePrinter = scup::UniqueResource<HANDLE, PrinterHandleTraits>;

bool IsShownAndOnline(const PRINTER_INFO_2W& printer) {
    return (printer.Attributes & (kPrinterHidden | kPrinterWorkOffline)) == 0;
}

bool IsOfDriver(const PRINTER_INFO_2W& printer, const std::wstring& driver) {
    return SpoolerText(printer.pDriverName) == driver;
}

// The spooler's driver information for the printer says version 0.
bool HasDriverVersionZero(const std::wstring& printerName) {
    UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), printer.put(), nullptr)) {
        printer.release();
        return false;
    }
    DWORD needed = 0;
    GetPrinterDriverW(printer.get(), nullptr, 2, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_2W)) return false;
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterDriverW(printer.get(), nullptr, 2, buffer.data(), needed, &needed)) return false;
    return reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data())->cVersion == 0;
}

}  // namespace

bool IsTransferPort(const std::wstring& port) {
    for (const wchar_t* prefix : {L"USB", L"SCUSB", L"COM", L"SCCOM"})
        if (StartsWithNoCase(port, prefix)) return true;
    return false;
}

std::wstring FindConnectedPrinter(const std::wstring& driver) {
    CSpoolerPrinterInfo printers;
    if (!printers.Enumerate()) return {};
    for (DWORD i = 0; i < printers.GetCount(); ++i) {
        const PRINTER_INFO_2W& printer = printers[i];
        if (!IsShownAndOnline(printer) || !(printer.Attributes & kBidirectional)) continue;
        if (IsTransferPort(SpoolerText(printer.pPortName)) && IsOfDriver(printer, driver))
            return SpoolerText(printer.pPrinterName);
    }
    return {};
}

int ListConnectedPrinters(const std::wstring& driver, std::vector<std::wstring>& printers) {
    printers.clear();
    CSpoolerPrinterInfo spooler;
    if (!spooler.Enumerate()) return 0;
    for (DWORD i = 0; i < spooler.GetCount(); ++i) {
        const PRINTER_INFO_2W& printer = spooler[i];
        if (!IsShownAndOnline(printer)) continue;
        if (!IsTransferPort(SpoolerText(printer.pPortName)) || !IsOfDriver(printer, driver)) continue;
        const std::wstring name = SpoolerText(printer.pPrinterName);
        if ((printer.Attributes & kBidirectional) || HasDriverVersionZero(name)) printers.push_back(name);
    }
    return static_cast<int>(printers.size());
}

int ListOnlinePrinters(const std::wstring& driver, std::vector<std::wstring>& printers) {
    printers.clear();
    CSpoolerPrinterInfo spooler;
    if (!spooler.Enumerate()) return 0;
    for (DWORD i = 0; i < spooler.GetCount(); ++i) {
        const PRINTER_INFO_2W& printer = spooler[i];
        if (IsOfDriver(printer, driver) && !(printer.Attributes & kPrinterWorkOffline))
            printers.push_back(SpoolerText(printer.pPrinterName));
    }
    return static_cast<int>(printers.size());
}
