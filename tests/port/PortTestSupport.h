#pragma once
// What the port tests share: the printer the test script set up, the commands of the printer
// protocol, and exchanges made the way the program makes them, through scfilo.dll.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace port_test {

using Bytes = std::vector<std::uint8_t>;

// Set by run_with_printer.sh: the printer queue on the simulator's port, and its model.
std::string PrinterName();
std::uint16_t PrinterModel();
unsigned ComNumber();
// Queues on ports that cannot be driven: "LPT3:", a COM port with nothing behind it, "USB001".
std::string UnsupportedPrinterName();
std::string AbsentPrinterName();
std::string UsbPrinterName();
// The simulator's command log (one line per command), as this process can open it.
std::wstring SimulatorLogPath();
std::vector<std::string> SimulatorLog();

Bytes Command(char letter);
Bytes Le32(std::uint32_t value);
std::uint32_t ReadLe32(const Bytes& bytes, std::size_t at);
Bytes Join(std::initializer_list<Bytes> parts);
Bytes FirmwareHeader(const std::string& name, std::uint32_t dataLength, std::uint16_t model,
                     std::uint8_t headerLength = 128);
Bytes Pattern(std::size_t size, std::uint8_t seed);
std::uint32_t Fnv1a(const Bytes& bytes);
std::string NameOfRecord(const Bytes& record);
std::string SpecOfRecord(const Bytes& record);

bool Send(const Bytes& bytes, DWORD timeoutMs = 2000);
// Reads up to count bytes in reads of at most perReadMs until totalMs has passed, as the
// program gathers a status reply; reads gets the number of read calls that brought bytes.
Bytes Gather(std::size_t count, DWORD perReadMs, DWORD totalMs, int* reads = nullptr);

// The outcome of a download made as the program makes it: pieces of at most 512 bytes, each
// after its length, within each credit the printer gives.
struct Download {
    bool completed = false;  // the last status came and accepted the file
    Bytes lastStatus;
    std::vector<std::uint32_t> pieces;
    std::uint32_t failedAfter = 0;  // data bytes sent when a call failed
};
Download SendFile(const Bytes& header, const Bytes& data);

ULONGLONG Now();

}  // namespace port_test
