#pragma once
// The printers of the family as the update program knows them: a printer queue of the spooler
// with its driver, port, online state and driver kind, found or created by printer name or by
// the model identifier that its driver reports.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One printer queue of the spooler.
class CPrinter {
  public:
    virtual ~CPrinter() = default;

    const std::wstring& GetName() const { return m_strName; }
    const std::wstring& GetDriverName() const { return m_strDriver; }
    const std::wstring& GetPortName() const { return m_strPort; }
    DWORD GetAttributes() const { return m_dwAttributes; }
    // Not set to work offline.
    bool IsOnline() const;

    // Takes the spooler's record of the printer with this name; false when the spooler has none.
    bool ReadFromSpooler(const std::wstring& printerName);

  protected:
    std::wstring m_strName;
    std::wstring m_strDriver;
    std::wstring m_strPort;
    DWORD m_dwAttributes = 0;
};

// A printer of the family: a printer whose driver names an information library.
class CSCPrinter : public CPrinter {
  public:
    // Fills the printer from the spooler and its driver. A special-tape name (the printer's name
    // with the special-tape suffix) gives a second entry of that printer in its special-tape mode.
    bool Initialize(const std::wstring& printerName);

    const std::wstring& GetInfoLibraryName() const { return m_strInfoLibrary; }
    bool IsSpecialTape() const { return m_bSpecialTape; }
    int GetDriverKind() const { return m_nDriverKind; }
    DWORD GetMiniDriver() const { return m_dwMiniDriver; }
    DWORD GetInboxVersion() const { return m_dwInboxVersion; }

    void SetMiniDriver(DWORD value) { m_dwMiniDriver = value; }
    void SetInboxVersion(DWORD version) { m_dwInboxVersion = version; }

  private:
    std::wstring m_strInfoLibrary;
    bool m_bSpecialTape = false;
    int m_nDriverKind = 0;
    DWORD m_dwMiniDriver = 0;
    DWORD m_dwInboxVersion = 0;
};

// The family printers that have been asked for, each made once.
class CPrinterList {
  public:
    // The entry for the printer with this name, made from the spooler and the driver when the list
    // has none yet; none when no such family printer exists.
    CSCPrinter* FindPrinter(const std::wstring& printerName);
    // The entry for the printer whose driver reports this model identifier (preferredName wins
    // among exact matches); none when no printer reports it.
    CSCPrinter* FindPrinterById(unsigned long modelId, const wchar_t* preferredName = nullptr);

    size_t GetCount() const { return m_printers.size(); }

  private:
    std::vector<std::unique_ptr<CSCPrinter>> m_printers;
};

// The family printer as the spooler lists it, with its driver's information library.
struct SFamilyPrinter {
    std::wstring name;
    std::wstring driver;
    std::wstring port;
    DWORD attributes = 0;
    std::wstring infoLibrary;
};

// The local and connected printers that are not hidden, not of an excluded maker by name, and
// whose drivers name an information library; in the spooler's order.
std::vector<SFamilyPrinter> EnumFamilyPrinterQueues();

// The driver name of the printer that reports this model identifier (the printer identifier of the
// label editor's command line); empty when there is none.
std::wstring FindPrinterDriverById(unsigned long printerId);
