#pragma once
// What the program knows about this PC: the printers of the family (by driver name) with, for a
// chosen printer, the maker's applications and editor templates installed and the firmware the
// connected printers hold; and the default selection of printer, locale and interface language.
//
// It is the configuration object with more on top: the application creates this one object and
// hands it to everybody who reads or writes the configuration file.
//
// Made on the main thread at start and used by both threads: the main thread's dialogs read the
// printers and the proxy record; the update thread collects printer details and reads and writes
// the settings. The printer map and the configuration document each have a lock.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/FirmInfo.h"
#include "local/AUConfigXML.h"

class CAULocalData : public CAUConfigXML {
  public:
    // The stored-file records (128 bytes each) of every connected printer of a driver, one list
    // per printer that could be read. False when no printer of the driver is connected.
    using StoredFileReader =
        std::function<bool(const std::wstring& driver, std::vector<std::vector<std::string>>& perPrinter)>;

    // Loads the configuration file first, then lists the family's printer drivers. True when ready.
    bool Initialize() override;
    // Printer driver name to the components installed for it.
    virtual PrinterMap GetPrinterMap() const;
    // Always 0: printer (may be empty), locale text and user-interface language text.
    virtual int GetDefaultSelection(std::wstring& printer, std::wstring& locale, std::wstring& language);
    virtual int SetDefaultSelection(const std::wstring& printer, const std::wstring& locale,
                                    const std::wstring& language);
    // What collecting a printer's rows came to: collected (the printer's rows replaced; also for a
    // printer not known), or firmware was asked for and no printer of the driver is connected (the
    // rows of the applications replaced, no firmware rows).
    enum class Environment { Collected, NoPrinterConnected };
    virtual Environment CollectPrinterEnvironment(const std::wstring& printer, bool withFirmware);

    // True with the "PackageVersion" text of the application; false (version "0" or unchanged)
    // otherwise.
    static bool GetInstalledPackageVersion(const std::wstring& code, std::wstring& version);
    // The language of the application's resource library, 0 when unknown.
    static LANGID GetApplicationLanguage(const std::wstring& code);
    static bool IsPackageInstalled(const std::wstring& code) { return GetApplicationLanguage(code) != 0; }
    static std::wstring GetOwnPackageVersion();
    // The file version of a program ("1.0.0.0"), empty when it carries none; without a path, the
    // version of the program that runs.
    static std::wstring GetProgramFileVersion(const std::wstring& path = {});

    // The language text for a user default locale (one of the strings 200 to 230).
    static std::wstring LanguageTextForLocale(LCID locale);

    // The firmware rows of merged printers: lowest version of each part; parts without "FP-"
    // only when every printer reported them.
    static ComponentList MergeFirmwareRows(const ComponentList& kept, const ComponentList& next);
    // One firmware row from a stored-file record.
    static SAUExtFirmInfo FirmwareRowFromRecord(const std::wstring& printer, const std::string& record);

    void SetStoredFileReader(StoredFileReader reader) { m_readStoredFiles = std::move(reader); }

  protected:
    // Tests fill it before any second thread runs; afterwards only under the lock.
    PrinterMap m_mapPrinters;

  private:
    void AddTemplateRows(const SAUExtFirmInfo& base, const std::wstring& country, ComponentList& rows) const;
    bool KnowsPrinter(const std::wstring& printer) const;
    void StorePrinterRows(const std::wstring& printer, ComponentList rows);

    mutable std::mutex m_printersMutex;

    StoredFileReader m_readStoredFiles;
};
