#include "SerialPort.h"

#include <string>

namespace scfilo {
namespace {

constexpr DWORD kRetryPauseMs = 100;
constexpr DWORD kQueueSize = 4096;

bool PortBusy(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
}

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Open(unsigned number, DWORD baudRate, DWORD openTimeoutMs) {
    std::wstring path = L"\\\\.\\COM" + std::to_wstring(number);
    ULONGLONG deadline = GetTickCount64() + openTimeoutMs;
    scup::UniqueFile file;
    for (;;) {
        file.reset(
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) break;
        DWORD error = GetLastError();
        if (!PortBusy(error) || GetTickCount64() >= deadline) {
            SetLastError(error);
            return nullptr;
        }
        Sleep(kRetryPauseMs);
    }
    auto port = std::make_unique<SerialPort>(std::move(file), number, baudRate);
    if (!port->SetLine()) return nullptr;
    return port;
}

bool SerialPort::SetLine() {
    SetupComm(file_.get(), kQueueSize, kQueueSize);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(file_.get(), &dcb)) return false;
    dcb.BaudRate = baudRate_;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(file_.get(), &dcb)) return false;
    return PurgeComm(file_.get(), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR) != FALSE;
}

bool SerialPort::SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs) {
    COMMTIMEOUTS t{};
    if (readTimeoutMs == 0) {
        // The one setting that returns at once with what has arrived; all zeros would wait for ever.
        t.ReadIntervalTimeout = MAXDWORD;
    } else {
        t.ReadTotalTimeoutConstant = readTimeoutMs;
    }
    // A write constant of 0 means no time-out at all.
    t.WriteTotalTimeoutConstant = writeTimeoutMs == 0 ? 1 : writeTimeoutMs;
    return SetCommTimeouts(file_.get(), &t) != FALSE;
}

bool SerialPort::LineAlive() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(file_.get(), &errors, &status) != FALSE;
}

bool SerialPort::Write(const BYTE* bytes, DWORD length, DWORD& written, DWORD timeoutMs) {
    written = 0;
    if (length == 0) return true;
    if (!SetTimeouts(0, timeoutMs)) return false;
    if (!WriteFile(file_.get(), bytes, length, &written, nullptr)) return false;
    if (written < length) {
        SetLastError(LineAlive() ? ERROR_TIMEOUT : GetLastError());
        return false;
    }
    return true;
}

bool SerialPort::Read(BYTE* buffer, DWORD capacity, DWORD& read, DWORD timeoutMs) {
    read = 0;
    if (!LineAlive()) return false;
    if (capacity == 0) return true;
    if (!SetTimeouts(timeoutMs, 0)) return false;
    if (!ReadFile(file_.get(), buffer, capacity, &read, nullptr)) return false;
    if (read < capacity && !LineAlive()) return false;
    return true;
}

bool SerialPort::DiscardInput() {
    // Output is left alone: the end of a command written just before must still reach the printer.
    return PurgeComm(file_.get(), PURGE_RXABORT | PURGE_RXCLEAR) != FALSE;
}

bool SerialPort::WaitUntilSent(DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(file_.get(), &errors, &status)) return false;
        if (status.cbOutQue == 0) return true;
        if (GetTickCount64() >= deadline) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        Sleep(10);
    }
}

std::array<DWORD, 3> SerialPort::Info() const { return {kSerialKind, number_, baudRate_}; }

}  // namespace scfilo
