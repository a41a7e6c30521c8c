#pragma once
// Finds where a printer is attached: its port through the spooler, and for a USB port the
// printer-class device interface that serves it.

#include <windows.h>

#include <optional>
#include <string>

#include "PortName.h"

namespace scfilo {

class PortLocator {
  public:
    // The port text of the printer ("COM5:", "USB001", ...); empty with the last error set when
    // the spooler does not know the printer.
    static std::optional<std::wstring> PrinterPort(const std::wstring& printerName);
    // The device path of the USB printer interface whose port is the given one.
    static std::optional<std::wstring> UsbDevicePath(const PortAddress& port);

  private:
    static std::optional<std::wstring> PortFromOpenPrinter(const std::wstring& printerName);
    static std::optional<std::wstring> PortFromEnumeration(const std::wstring& printerName);
};

}  // namespace scfilo
