#pragma once
// A printer on a USB printer-class device interface. Its reads and writes are overlapped and
// cancelled when their time runs out, since the class driver knows no time-outs of its own.

#include <memory>
#include <string>

#include "PrinterPort.h"
#include "common/Handles.h"

namespace scfilo {

class UsbPrintPort : public PrinterPort {
  public:
    // Opens the device interface path; null on failure, with the last error set.
    static std::unique_ptr<UsbPrintPort> Open(const std::wstring& devicePath, unsigned number);

    UsbPrintPort(scup::UniqueFile file, scup::UniqueHandle event, unsigned number)
        : file_(std::move(file)), event_(std::move(event)), number_(number) {}

    bool Write(const BYTE* bytes, DWORD length, DWORD& written, DWORD timeoutMs) override;
    bool Read(BYTE* buffer, DWORD capacity, DWORD& read, DWORD timeoutMs) override;
    bool DiscardInput() override;
    bool WaitUntilSent(DWORD) override { return true; }
    HANDLE handle() const override { return file_.get(); }
    std::array<DWORD, 3> Info() const override { return {kUsbKind, number_, 0}; }

  private:
    // One overlapped transfer that is cancelled when it has not ended after timeoutMs; done gets
    // the count moved, also when it was cancelled.
    bool Transfer(bool write, BYTE* bytes, DWORD length, DWORD& done, DWORD timeoutMs);

    scup::UniqueFile file_;
    scup::UniqueHandle event_;
    unsigned number_;
};

}  // namespace scfilo
