#pragma once
// scfilo.dll: the port library through which the program talks to a printer of the family. It
// finds the printer's port through the spooler and drives it: a serial port ("COMn") with bounded
// reads and writes, or a USB printer-class device ("USBnnn"). The program imports the functions by
// ordinal (the import library maps these names to ordinals 3 to 8). Texts are single-byte, in
// the system code page.
//
// One port is open at a time, for the whole process; opening another printer's port closes it.
// Every call returns within its time-out (or, for the port opening, within a few seconds).

#include <windows.h>

#ifdef SCFILO_BUILD
// The export table (by ordinal, without names) comes from scfilo.def.
#define SCFILO_API extern "C"
#else
#define SCFILO_API extern "C" __declspec(dllimport)
#endif

// What ScFiloOpenPort reports about the port it opened.
enum ScFiloPortKind : DWORD { kScFiloSerialPort = 1, kScFiloUsbPort = 2 };
enum ScFiloPortInfoIndex { kScFiloInfoKind = 0, kScFiloInfoNumber = 1, kScFiloInfoBaudRate = 2 };

// Ordinal 3. Opens the port of the named printer (at most 260 bytes) for commands. portInfo, when
// not null, receives three values: the port kind, the port number (n of COMn or of USBnnn) and the
// serial line rate (0 for USB). Non-zero when the port is open.
SCFILO_API BOOL WINAPI ScFiloOpenPort(LPCSTR printerName, DWORD* portInfo);

// Ordinal 4. Writes length bytes within timeoutMs. Non-zero only when all were written; written,
// when not null, receives the count that went out.
SCFILO_API BOOL WINAPI ScFiloWrite(const void* buffer, DWORD length, DWORD* written, DWORD timeoutMs);

// Ordinal 5. Reads until capacity bytes have arrived or timeoutMs has passed. Non-zero unless the
// port is not open or the line failed; the count (in read, when not null) may be short, even 0.
SCFILO_API BOOL WINAPI ScFiloRead(void* buffer, DWORD capacity, DWORD* read, DWORD timeoutMs);

// Ordinal 6. Throws away whatever the printer sent that has not been read yet.
SCFILO_API BOOL WINAPI ScFiloClearChannel(void);

// Ordinal 7. Opens the data channel for a download to the named printer, opening its port when
// it is not the one open, within timeoutMs. reserved must be null. The handle belongs to the
// library and stays valid until ScFiloCloseDataChannel or the next port opening; null on failure.
SCFILO_API HANDLE WINAPI ScFiloOpenDataChannel(LPCSTR printerName, void* reserved, DWORD timeoutMs);

// Ordinal 8. Closes the data channel once what was written has gone out (or 2 s have passed).
SCFILO_API BOOL WINAPI ScFiloCloseDataChannel(void);
