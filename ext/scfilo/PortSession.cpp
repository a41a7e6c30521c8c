#include "PortSession.h"

#include <algorithm>
#include <cstring>

#include "LineSettings.h"
#include "PortLocator.h"
#include "PortName.h"
#include "SerialPort.h"
#include "UsbPrintPort.h"

namespace scfilo {
namespace {

constexpr std::size_t kLongestPrinterName = 260;
// ScFiloOpenPort has no time-out of its own; a port that another program holds gets this long.
constexpr DWORD kOpenPortTimeoutMs = 2000;
constexpr DWORD kDrainTimeoutMs = 2000;

// The printer name as wide text; empty (with the last error set) when it is missing, longer than
// the spooler allows, or not text of the system code page.
std::wstring PrinterNameFrom(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    std::size_t length = strnlen(name, kLongestPrinterName + 1);
    if (length == 0 || length > kLongestPrinterName) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return {};
    }
    int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, static_cast<int>(length), nullptr, 0);
    if (wide <= 0) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return {};
    }
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, static_cast<int>(length), text.data(), wide);
    return text;
}

DWORD Bounded(DWORD timeoutMs) { return std::min(timeoutMs, PortSession::kLongestWaitMs); }

template <typename T>
void Report(T* out, T value) {
    if (out) *out = value;
}

}  // namespace

PortSession& PortSession::Instance() {
    static PortSession session;
    return session;
}

bool PortSession::OpenPortLocked(const std::wstring& printer, DWORD openTimeoutMs) {
    ClosePortLocked();
    auto portText = PortLocator::PrinterPort(printer);
    if (!portText) return false;
    auto address = ParsePortName(*portText);
    if (!address) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (address->kind == PortAddress::Kind::Serial) {
        port_ = SerialPort::Open(address->number, ConfiguredBaudRate(), openTimeoutMs);
    } else if (auto path = PortLocator::UsbDevicePath(*address)) {
        port_ = UsbPrintPort::Open(*path, address->number);
    }
    if (!port_) return false;
    printer_ = printer;
    return true;
}

void PortSession::ClosePortLocked() {
    dataChannel_.reset();
    port_.reset();
    printer_.clear();
}

BOOL PortSession::OpenPort(LPCSTR printerName, DWORD* portInfo) {
    std::lock_guard lock(mutex_);
    ClosePortLocked();
    std::wstring printer = PrinterNameFrom(printerName);
    if (printer.empty() || !OpenPortLocked(printer, kOpenPortTimeoutMs)) return FALSE;
    if (portInfo) {
        auto info = port_->Info();
        std::copy(info.begin(), info.end(), portInfo);
    }
    return TRUE;
}

BOOL PortSession::Write(const void* buffer, DWORD length, DWORD* written, DWORD timeoutMs) {
    std::lock_guard lock(mutex_);
    Report(written, DWORD{0});
    if (!port_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer && length > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    bool ok = port_->Write(static_cast<const BYTE*>(buffer), length, done, Bounded(timeoutMs));
    Report(written, done);
    return ok ? TRUE : FALSE;
}

BOOL PortSession::Read(void* buffer, DWORD capacity, DWORD* read, DWORD timeoutMs) {
    std::lock_guard lock(mutex_);
    Report(read, DWORD{0});
    if (!port_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer && capacity > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    bool ok = port_->Read(static_cast<BYTE*>(buffer), capacity, done, Bounded(timeoutMs));
    Report(read, done);
    return ok ? TRUE : FALSE;
}

BOOL PortSession::ClearChannel() {
    std::lock_guard lock(mutex_);
    if (!port_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return port_->DiscardInput() ? TRUE : FALSE;
}

HANDLE PortSession::OpenDataChannel(LPCSTR printerName, void* reserved, DWORD timeoutMs) {
    std::lock_guard lock(mutex_);
    if (reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring printer = PrinterNameFrom(printerName);
    if (printer.empty()) return nullptr;
    timeoutMs = Bounded(timeoutMs);
    ULONGLONG start = GetTickCount64();
    if (!port_ || _wcsicmp(printer_.c_str(), printer.c_str()) != 0) {
        if (!OpenPortLocked(printer, timeoutMs)) return nullptr;
    }
    if (dataChannel_) return dataChannel_.get();
    DWORD spent = static_cast<DWORD>(std::min<ULONGLONG>(GetTickCount64() - start, timeoutMs));
    // The download starts on a quiet line: what earlier commands wrote has gone out.
    if (!port_->WaitUntilSent(timeoutMs - spent)) return nullptr;
    HANDLE channel = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), port_->handle(), GetCurrentProcess(), &channel, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    dataChannel_.reset(channel);
    return channel;
}

BOOL PortSession::CloseDataChannel() {
    std::lock_guard lock(mutex_);
    if (!dataChannel_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool drained = port_ && port_->WaitUntilSent(kDrainTimeoutMs);
    dataChannel_.reset();
    return drained ? TRUE : FALSE;
}

}  // namespace scfilo
