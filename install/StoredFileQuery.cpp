#include "StoredFileQuery.h"

#include "ConnectedPrinters.h"
#include "FirmPort.h"
#include "common/Trace.h"
#include "local/PrinterDriver.h"

namespace {

constexpr DWORD kExitCommandMs = 1000;
// The main dialog ends the mode as it closes: it waits this long for a check still reading the
// printer, and no longer, since a transfer may hold the port with a box open over the dialog.
constexpr DWORD kExitClaimWaitMs = 5000;

}  // namespace

bool IsKeptFileType(std::uint8_t type) { return type == 3 || type == 4 || type == 6 || type == 10; }

bool OpenPrinterPort(const std::wstring& printer) {
    const int model = GetPrinterModelId(printer, true);
    if (model != -1) CFirmPort::Instance().SetModelId(static_cast<std::uint16_t>(model));
    return CFirmPort::Instance().Open(printer);
}

int IdentifyPrinter() { return CFirmPort::Instance().Identify(); }

bool QueryStoredFiles(const std::wstring& printer, std::vector<tagScTrFileHeader>& records) {
    scup::TraceScope scope(L"QueryStoredFiles()");
    records.clear();
    CFirmPort::Claim claim;
    if (!OpenPrinterPort(printer)) return false;
    const int identity = IdentifyPrinter();
    if (identity == kNotIdentified) return false;
    std::vector<tagScTrFileHeader> listed;
    CFirmPort& port = CFirmPort::Instance();
    if (!port.ReadStoredFileList(identity == kLongRecords, listed) &&
        !port.ReadStoredFileList(identity == kLongRecords, listed)) {
        scup::AUTrace(L"Failed: the stored files of %s could not be read", printer.c_str());
        return false;
    }
    for (const tagScTrFileHeader& record : listed)
        if (IsKeptFileType(record.FileType())) records.push_back(record);
    return true;
}

bool ReadConnectedPrintersFiles(const std::wstring& driver, std::vector<std::vector<std::string>>& perPrinter) {
    perPrinter.clear();
    std::vector<std::wstring> printers;
    ListConnectedPrinters(driver, printers);
    for (const std::wstring& printer : printers) {
        std::vector<tagScTrFileHeader> records;
        if (!QueryStoredFiles(printer, records)) continue;
        std::vector<std::string>& texts = perPrinter.emplace_back();
        for (const tagScTrFileHeader& record : records)
            texts.emplace_back(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
    }
    // A printer that cannot be read is left out; only no printer connected at all is a failure.
    return !printers.empty();
}

bool SendModeExitCommand(const std::wstring& driver) {
    CFirmPort::Claim claim(kExitClaimWaitMs);
    if (!claim.Held()) {
        scup::AUTrace(L"Failed: the printer's port is in use; its mode was not ended");
        return false;
    }
    std::vector<std::wstring> printers;
    ListOnlinePrinters(driver, printers);
    CFirmPort& port = CFirmPort::Instance();
    for (const std::wstring& printer : printers)
        if (port.Open(printer)) port.SendCommand('m', kExitCommandMs);
    return true;
}
