#pragma once
// The printers the spooler knows, local and connected.

#include <windows.h>

#include <string>
#include <vector>

struct SSpoolerPrinter {
    std::wstring name;
    std::wstring driver;
    DWORD attributes = 0;
};

std::vector<SSpoolerPrinter> EnumSpoolerPrinters();
