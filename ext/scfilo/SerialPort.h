#pragma once
// A printer on a serial port, 8 data bits, no parity, one stop bit, no flow control. Each read
// and write sets its own time-outs, so no call waits longer than it was given.

#include <memory>

#include "PrinterPort.h"
#include "common/Handles.h"

namespace scfilo {

class SerialPort : public PrinterPort {
  public:
    // Opens COMn; a port that another program holds is tried again until openTimeoutMs passed.
    // Null on failure, with the last error set.
    static std::unique_ptr<SerialPort> Open(unsigned number, DWORD baudRate, DWORD openTimeoutMs);

    bool Write(const BYTE* bytes, DWORD length, DWORD& written, DWORD timeoutMs) override;
    bool Read(BYTE* buffer, DWORD capacity, DWORD& read, DWORD timeoutMs) override;
    bool DiscardInput() override;
    bool WaitUntilSent(DWORD timeoutMs) override;
    HANDLE handle() const override { return file_.get(); }
    std::array<DWORD, 3> Info() const override;

    SerialPort(scup::UniqueFile file, unsigned number, DWORD baudRate)
        : file_(std::move(file)), number_(number), baudRate_(baudRate) {}

  private:
    bool SetLine();
    bool SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs);
    // A line that was hung up answers reads with nothing, as if the printer were silent; the
    // port's error state tells the two apart.
    bool LineAlive();

    scup::UniqueFile file_;
    unsigned number_;
    DWORD baudRate_;
};

}  // namespace scfilo
