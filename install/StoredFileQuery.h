#pragma once
// What the rest of the program asks of a printer outside a transfer: the firmware files it holds
// (for the local data), its port opened for the update manager, its identification (for the
// printer selection dialog), and the command that ends the mode a transfer's mode check began.

#include <cstdint>
#include <string>
#include <vector>

#include "ScTrFileHeader.h"

// The kinds of file a printer's list tells of to the check: 3, 4, 6 and 10.
bool IsKeptFileType(std::uint8_t type);

// Empties the list, opens the printer's port, identifies the printer and reads its stored files
// (each read tried twice), keeping those of file types 3, 4, 6 and 10 in the printer's order.
// False when the port could not be opened, the printer was not identified or the list not read.
bool QueryStoredFiles(const std::wstring& printer, std::vector<tagScTrFileHeader>& records);

// The stored files of every connected printer of the driver that could be read, one list of
// 128-byte records per printer; false when none could be read. The local data's reader.
bool ReadConnectedPrintersFiles(const std::wstring& driver, std::vector<std::vector<std::string>>& perPrinter);

// Takes the model identifier of the named printer and opens its port; true when the port is open.
bool OpenPrinterPort(const std::wstring& printer);

// Identifies the printer whose port is open: 0 when the reply does not name the current model,
// 1 when it lists its files in 64-byte records, 2 in 128-byte records.
int IdentifyPrinter();

// Sends "m" to every online printer of the driver; false, with nothing sent, when another thread
// keeps the port for longer than a closing dialog can wait.
bool SendModeExitCommand(const std::wstring& driver);
