#pragma once
// The library's one open port and its data channel, shared by every caller in the process.
// Calls are serialised: the program uses one port from one thread at a time, and a second thread
// that comes in meanwhile waits rather than interleaving its bytes with the first's.

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "PrinterPort.h"
#include "common/Handles.h"

namespace scfilo {

class PortSession {
  public:
    static PortSession& Instance();

    BOOL OpenPort(LPCSTR printerName, DWORD* portInfo);
    BOOL Write(const void* buffer, DWORD length, DWORD* written, DWORD timeoutMs);
    BOOL Read(void* buffer, DWORD capacity, DWORD* read, DWORD timeoutMs);
    BOOL ClearChannel();
    HANDLE OpenDataChannel(LPCSTR printerName, void* reserved, DWORD timeoutMs);
    BOOL CloseDataChannel();

    // No single exchange with a printer may take longer than this, whatever a caller asks for.
    static constexpr DWORD kLongestWaitMs = 1200000;

  private:
    bool OpenPortLocked(const std::wstring& printer, DWORD openTimeoutMs);
    void ClosePortLocked();

    std::mutex mutex_;
    std::unique_ptr<PrinterPort> port_;
    std::wstring printer_;
    scup::UniqueHandle dataChannel_;
};

}  // namespace scfilo
