#pragma once
// The printers of one driver that the firmware transfer can reach, from the spooler's local and
// connected printers: the ones attached by USB or serial port ("USB", "SCUSB", "COM", "SCCOM"),
// and the ones simply not set to work offline.

#include <string>
#include <vector>

// The first printer of the driver on such a port that is shown, online and has bidirectional
// support on; empty when there is none.
std::wstring FindConnectedPrinter(const std::wstring& driver);

// Fills the list with the printers of the driver on such ports that are shown and online and have
// bidirectional support on or a driver of version 0; gives their count.
int ListConnectedPrinters(const std::wstring& driver, std::vector<std::wstring>& printers);

// Fills the list with the printers of the driver that are not set to work offline; gives their count.
int ListOnlinePrinters(const std::wstring& driver, std::vector<std::wstring>& printers);

// A port through which firmware can go.
bool IsTransferPort(const std::wstring& port);
