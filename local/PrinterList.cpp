#include "PrinterList.h"

#include <algorithm>

#include "PrinterDriver.h"
#include "common/Trace.h"

using scup::AUTrace;

bool CPrinter::IsOnline() const { return (m_dwAttributes & kPrinterWorkOffline) == 0; }

bool CPrinter::ReadFromSpooler(const std::wstring& printerName) {
    CSpoolerPrinterInfo printers;
    if (!printers.Enumerate()) return false;
    const PRINTER_INFO_2W* printer = printers.FindByPrinterName(printerName);
    if (!printer) return false;
    m_strName = SpoolerText(printer->pPrinterName);
    m_strDriver = SpoolerText(printer->pDriverName);
    m_strPort = SpoolerText(printer->pPortName);
    m_dwAttributes = printer->Attributes;
    return true;
}

bool CSCPrinter::Initialize(const std::wstring& printerName) {
    scup::TraceScope scope(L"CSCPrinter::Initialize()");
    m_bSpecialTape = false;
    if (!ReadFromSpooler(printerName)) {
        // The special-tape mode of a printer is an entry of its own under the suffixed name.
        const std::wstring baseName = StripSpecialTapeName(printerName);
        if (baseName.empty() || !ReadFromSpooler(baseName)) {
            AUTrace(L"Failed: no printer %s", printerName.c_str());
            return false;
        }
        m_bSpecialTape = true;
    }
    if (!FindInfoLibrary(m_strDriver, m_strInfoLibrary)) {
        AUTrace(L"Failed: %s is not a printer of the family", m_strName.c_str());
        return false;
    }
    if (m_bSpecialTape) {
        const int tape = AskInfoLibrary(m_strInfoLibrary, m_strName, kCapSpecialTape);
        if (tape == -1 || (static_cast<unsigned int>(tape) & kSpecialTapeDriverFlag) == 0) {
            AUTrace(L"Failed: %s has no special-tape mode", m_strName.c_str());
            return false;
        }
        m_strName = printerName;
    }
    m_nDriverKind = ::GetDriverKind(m_strDriver, this);
    return true;
}

CSCPrinter* CPrinterList::FindPrinter(const std::wstring& printerName) {
    auto it = std::find_if(m_printers.begin(), m_printers.end(),
                           [&](const std::unique_ptr<CSCPrinter>& p) { return p->GetName() == printerName; });
    if (it != m_printers.end()) return it->get();
    auto printer = std::make_unique<CSCPrinter>();
    if (!printer->Initialize(printerName)) return nullptr;
    m_printers.push_back(std::move(printer));
    return m_printers.back().get();
}

CSCPrinter* CPrinterList::FindPrinterById(unsigned long modelId, const wchar_t* preferredName) {
    std::wstring name;
    if (!FindPrinterByModelId(preferredName, modelId, name)) return nullptr;
    return FindPrinter(name);
}

std::vector<SFamilyPrinter> EnumFamilyPrinterQueues() {
    std::vector<SFamilyPrinter> queues;
    CSpoolerPrinterInfo printers;
    if (!printers.Enumerate()) return queues;
    for (DWORD i = 0; i < printers.GetCount(); ++i) {
        const PRINTER_INFO_2W& info = printers[i];
        SFamilyPrinter printer{SpoolerText(info.pPrinterName), SpoolerText(info.pDriverName),
                               SpoolerText(info.pPortName), info.Attributes, L""};
        if ((printer.attributes & kPrinterHidden) || HasExcludedPrefix(printer.name)) continue;
        if (!FindInfoLibrary(printer.driver, printer.infoLibrary)) continue;
        queues.push_back(std::move(printer));
    }
    return queues;
}

std::wstring FindPrinterDriverById(unsigned long printerId) {
    CPrinterList printers;
    const CSCPrinter* printer = printers.FindPrinterById(printerId);
    return printer ? printer->GetDriverName() : std::wstring();
}
