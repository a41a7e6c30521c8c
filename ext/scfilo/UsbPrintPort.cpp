#include "UsbPrintPort.h"

#include <algorithm>

namespace scfilo {
namespace {

// How long to wait before asking again when the device had nothing to give.
constexpr DWORD kIdlePollMs = 20;
// Input arriving closer together than this belongs to what is being thrown away.
constexpr DWORD kDiscardQuietMs = 30;
constexpr DWORD kDiscardLimitMs = 500;

DWORD MillisecondsUntil(ULONGLONG deadline) {
    ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

std::unique_ptr<UsbPrintPort> UsbPrintPort::Open(const std::wstring& devicePath, unsigned number) {
    scup::UniqueFile file(CreateFileW(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
    if (!file) return nullptr;
    scup::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return nullptr;
    return std::make_unique<UsbPrintPort>(std::move(file), std::move(event), number);
}

bool UsbPrintPort::Transfer(bool write, BYTE* bytes, DWORD length, DWORD& done, DWORD timeoutMs) {
    done = 0;
    OVERLAPPED ov{};
    ov.hEvent = event_.get();
    ResetEvent(ov.hEvent);
    BOOL started = write ? WriteFile(file_.get(), bytes, length, nullptr, &ov)
                         : ReadFile(file_.get(), bytes, length, nullptr, &ov);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(file_.get(), &ov);
        // The transfer ends promptly once cancelled; its count is what really moved.
        GetOverlappedResult(file_.get(), &ov, &done, TRUE);
        SetLastError(ERROR_TIMEOUT);
        return true;
    }
    return GetOverlappedResult(file_.get(), &ov, &done, FALSE) != FALSE;
}

bool UsbPrintPort::Write(const BYTE* bytes, DWORD length, DWORD& written, DWORD timeoutMs) {
    written = 0;
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (written < length) {
        DWORD left = MillisecondsUntil(deadline);
        DWORD done = 0;
        if (left == 0) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        if (!Transfer(true, const_cast<BYTE*>(bytes) + written, length - written, done, left)) return false;
        written += done;
    }
    return true;
}

bool UsbPrintPort::Read(BYTE* buffer, DWORD capacity, DWORD& read, DWORD timeoutMs) {
    read = 0;
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (read < capacity) {
        DWORD left = MillisecondsUntil(deadline);
        DWORD done = 0;
        if (!Transfer(false, buffer + read, capacity - read, done, left)) return false;
        read += done;
        if (read >= capacity || MillisecondsUntil(deadline) == 0) break;
        if (done == 0) Sleep(std::min(kIdlePollMs, MillisecondsUntil(deadline)));
    }
    return true;
}

bool UsbPrintPort::DiscardInput() {
    BYTE scrap[512];
    ULONGLONG deadline = GetTickCount64() + kDiscardLimitMs;
    while (MillisecondsUntil(deadline) > 0) {
        DWORD done = 0;
        if (!Transfer(false, scrap, sizeof scrap, done, kDiscardQuietMs)) return false;
        if (done == 0) return true;
    }
    return true;
}

}  // namespace scfilo
