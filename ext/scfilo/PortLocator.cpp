#include "PortLocator.h"

#include <setupapi.h>
#include <winspool.h>

#include <vector>

#include "common/Handles.h"

namespace scfilo {
namespace {

// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}, the interface class of the USB printer-class driver.
constexpr GUID kUsbPrintInterface = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

struct PrinterTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { ::ClosePrinter(h); }
};
using UniquePrinter = scup::UniqueResource<HANDLE, PrinterTraits>;

struct DeviceInfoTraits {
    static HDEVINFO Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HDEVINFO h) noexcept { ::SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDeviceInfo = scup::UniqueResource<HDEVINFO, DeviceInfoTraits>;

std::optional<std::wstring> PortOf(const PRINTER_INFO_2W& info) {
    if (!info.pPortName || !*info.pPortName) return std::nullopt;
    return std::wstring(info.pPortName);
}

// The usbprint driver numbers its ports in the interface's registry key: "Base Name" (usually
// "USB") and "Port Number", which together make the spooler's port name ("USB001").
std::optional<std::wstring> InterfacePortName(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA& data) {
    scup::UniqueRegKey key(SetupDiOpenDeviceInterfaceRegKey(devices, &data, 0, KEY_QUERY_VALUE));
    if (key.get() == INVALID_HANDLE_VALUE) {
        key.release();
        return std::nullopt;
    }
    if (!key) return std::nullopt;
    DWORD number = 0, size = sizeof number, type = 0;
    if (RegQueryValueExW(key.get(), L"Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&number),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    wchar_t base[32] = {};
    DWORD baseSize = sizeof base - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), L"Base Name", nullptr, &type, reinterpret_cast<BYTE*>(base), &baseSize) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        base[baseSize / sizeof(wchar_t)] = L'\0';  // stored texts need not be terminated
    } else {
        base[0] = L'\0';
    }
    if (!base[0]) wcscpy_s(base, L"USB");
    wchar_t name[48];
    swprintf_s(name, L"%s%03lu", base, number);
    return std::wstring(name);
}

std::optional<std::wstring> InterfacePath(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA& data) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(devices, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return std::nullopt;
    std::vector<BYTE> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(devices, &data, detail, size, nullptr, nullptr))
        return std::nullopt;
    return std::wstring(detail->DevicePath);
}

}  // namespace

std::optional<std::wstring> PortLocator::PrinterPort(const std::wstring& printerName) {
    if (auto port = PortFromOpenPrinter(printerName)) return port;
    if (auto port = PortFromEnumeration(printerName)) return port;
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return std::nullopt;
}

std::optional<std::wstring> PortLocator::PortFromOpenPrinter(const std::wstring& printerName) {
    UniquePrinter printer;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), printer.put(), &access)) return std::nullopt;
    DWORD needed = 0;
    GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) return std::nullopt;
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer.get(), 2, buffer.data(), needed, &needed)) return std::nullopt;
    return PortOf(*reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()));
}

// Some spoolers cannot open a printer whose driver is not fully installed, yet list it.
std::optional<std::wstring> PortLocator::PortFromEnumeration(const std::wstring& printerName) {
    DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return std::nullopt;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) return std::nullopt;
    auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName && _wcsicmp(printers[i].pPrinterName, printerName.c_str()) == 0)
            return PortOf(printers[i]);
    }
    return std::nullopt;
}

std::optional<std::wstring> PortLocator::UsbDevicePath(const PortAddress& port) {
    UniqueDeviceInfo devices(
        SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!devices) return std::nullopt;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(devices.get(), nullptr, &kUsbPrintInterface, index, &data)) break;
        auto name = InterfacePortName(devices.get(), data);
        if (name && _wcsicmp(name->c_str(), port.name.c_str()) == 0)
            return InterfacePath(devices.get(), data);
    }
    SetLastError(ERROR_DEV_NOT_EXIST);
    return std::nullopt;
}

}  // namespace scfilo
