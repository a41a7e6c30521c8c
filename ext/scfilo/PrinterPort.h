#pragma once
// One open connection to a printer. Every call ends within the time it is given.

#include <windows.h>

#include <array>

namespace scfilo {

// The port kinds that ScFiloOpenPort reports (scfilo.h).
inline constexpr DWORD kSerialKind = 1;
inline constexpr DWORD kUsbKind = 2;

class PrinterPort {
  public:
    virtual ~PrinterPort() = default;

    // Writes all of the bytes; false (with the last error set) when the line failed or the time
    // ran out first. written gets the count that went out either way.
    virtual bool Write(const BYTE* bytes, DWORD length, DWORD& written, DWORD timeoutMs) = 0;
    // Reads until capacity bytes arrived or the time ran out; a short count is no failure.
    // False only when the line failed.
    virtual bool Read(BYTE* buffer, DWORD capacity, DWORD& read, DWORD timeoutMs) = 0;
    // Throws away what arrived and was not read.
    virtual bool DiscardInput() = 0;
    // Waits until what was written has left the PC; false when the time ran out.
    virtual bool WaitUntilSent(DWORD timeoutMs) = 0;

    virtual HANDLE handle() const = 0;
    // Kind, number and line rate, as ScFiloOpenPort reports them.
    virtual std::array<DWORD, 3> Info() const = 0;
};

}  // namespace scfilo
