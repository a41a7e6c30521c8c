// The six functions of scfilo.dll; scfilo.def exports them by ordinal.
#define SCFILO_BUILD
#include "PortSession.h"
#include "scfilo.h"

using scfilo::PortSession;

BOOL WINAPI ScFiloOpenPort(LPCSTR printerName, DWORD* portInfo) {
    return PortSession::Instance().OpenPort(printerName, portInfo);
}

BOOL WINAPI ScFiloWrite(const void* buffer, DWORD length, DWORD* written, DWORD timeoutMs) {
    return PortSession::Instance().Write(buffer, length, written, timeoutMs);
}

BOOL WINAPI ScFiloRead(void* buffer, DWORD capacity, DWORD* read, DWORD timeoutMs) {
    return PortSession::Instance().Read(buffer, capacity, read, timeoutMs);
}

BOOL WINAPI ScFiloClearChannel(void) { return PortSession::Instance().ClearChannel(); }

HANDLE WINAPI ScFiloOpenDataChannel(LPCSTR printerName, void* reserved, DWORD timeoutMs) {
    return PortSession::Instance().OpenDataChannel(printerName, reserved, timeoutMs);
}

BOOL WINAPI ScFiloCloseDataChannel(void) { return PortSession::Instance().CloseDataChannel(); }
