// The driver package's information library. Its one export has the form of the platform's 8-bit
// device-capabilities query and answers, for a printer or a driver of the family:
//   278  the model identifier, the driver key's DWORD "ModelId" (-1 when the key has none);
//   269  the special-tape modes, the driver key's DWORD "SpecialTape" (0 when the key has none).
// Other capabilities are not known here (-1). The driver key is
// HKLM\SOFTWARE\Corvane Industries, Ltd.\Scribo\Driver\3.0\<driver>, where the 32-bit driver writes
// it (the 32-bit view); a key of the 64-bit view is read when the 32-bit view has none.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "common/Handles.h"

namespace {

constexpr WORD kCapModelId = 278;
constexpr WORD kCapSpecialTape = 269;
constexpr char kDriverKeyPrefix[] = "SOFTWARE\\Corvane Industries, Ltd.\\Scribo\\Driver\\3.0\\";

// The driver of the spooler's printer with this name (names compare without case, as the
// spooler's do); empty when there is no such printer.
std::string DriverOfPrinter(const char* printerName) {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersA(flags, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return {};
    std::vector<BYTE> buffer(needed, 0);
    if (!EnumPrintersA(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) return {};
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (printers[i].pPrinterName && lstrcmpiA(printers[i].pPrinterName, printerName) == 0)
            return printers[i].pDriverName ? printers[i].pDriverName : "";
    return {};
}

bool ReadDriverValue(const std::string& driver, const char* name, DWORD& value) {
    const std::string path = kDriverKeyPrefix + driver;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        scup::UniqueRegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) !=
            ERROR_SUCCESS) {
            key.release();
            continue;
        }
        DWORD type = 0, data = 0, size = sizeof(data);
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD) {
            value = data;
            return true;
        }
    }
    return false;
}

}  // namespace

// The program asks with a driver name in one place and with a printer name in another: a printer's
// name stands for that printer's driver.
extern "C" int WINAPI MyDeviceCapabilities(LPCSTR device, LPCSTR, WORD capability, LPSTR, const DEVMODEA*) {
    if (!device || (capability != kCapModelId && capability != kCapSpecialTape)) return -1;
    std::string driver = DriverOfPrinter(device);
    if (driver.empty()) driver = device;
    DWORD value = 0;
    if (capability == kCapModelId)
        return ReadDriverValue(driver, "ModelId", value) ? static_cast<int>(value) : -1;
    return ReadDriverValue(driver, "SpecialTape", value) ? static_cast<int>(value) : 0;
}
