#pragma once
// What the program knows about this PC: the printers of the family with their installed
// components, and the default selection of printer, locale and user-interface language.
//
// It is the configuration object with more on top: the application creates this one object and
// hands it to everybody who reads or writes the configuration file.

#include <windows.h>

#include <string>

#include "common/FirmInfo.h"
#include "local/AUConfigXML.h"

class CAULocalData : public CAUConfigXML {
public:
    // Loads the configuration file first. 0 success, 1 failure.
    int Initialize() override;
    // Printer driver name to the components installed for it.
    virtual PrinterMap GetPrinterMap() const;
    // Always 0: printer (may be empty), locale text and user-interface language text.
    virtual int GetDefaultSelection(std::wstring& printer, std::wstring& locale, std::wstring& language);
    virtual int SetDefaultSelection(const std::wstring& printer, const std::wstring& locale,
                                    const std::wstring& language);
    // 0 when the printer's data was collected, 1 when no such printer is connected.
    virtual int CollectPrinterEnvironment(const std::wstring& printer, bool withFirmware);

    // The language text for a user default locale (one of the strings 200 to 230).
    static std::wstring LanguageTextForLocale(LCID locale);

protected:
    PrinterMap m_mapPrinters;
};
