#pragma once
// The printer drivers of the family: which are installed, which information library describes
// each, what model identifier a printer reports, and the per-driver switches of the maker's
// driver registry (HKLM\SOFTWARE\<company>\Scribo\Driver\3.0\<driver>).

#include <windows.h>
#include <winspool.h>

#include <map>
#include <string>
#include <vector>

#include "common/Handles.h"

class CSCPrinter;

// The driver registry, its values and the information library's query.
inline constexpr wchar_t kMakerCompanyKey[] = L"Corvane Industries, Ltd.";
inline constexpr wchar_t kDriverKeyFormat[] = L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo\\Driver\\3.0\\%s";
inline constexpr char kInfoLibraryExport[] = "MyDeviceCapabilities";
inline constexpr WORD kCapModelId = 278;
inline constexpr WORD kCapSpecialTape = 269;
inline constexpr DWORD kSpecialTapeModelFlag = 0x10000;   // in a model identifier asked for
inline constexpr DWORD kSpecialTapeDriverFlag = 0x40000;  // in the answer to kCapSpecialTape
inline constexpr DWORD kPrinterWorkOffline = 0x400;       // PRINTER_ATTRIBUTE_WORK_OFFLINE
inline constexpr DWORD kPrinterHidden = 0x20;             // PRINTER_ATTRIBUTE_HIDDEN

// The form of the platform's 8-bit device-capabilities query (DeviceCapabilitiesA).
using InfoLibraryQuery = int(WINAPI*)(LPCSTR device, LPCSTR port, WORD capability, LPSTR output,
                                      const DEVMODEA* devMode);

// Driver name to true when at least one printer of that driver is not set to work offline.
using OnlineMap = std::map<std::wstring, bool>;

// Appends the family drivers of the spooler's local and connected printers that are not in the list
// yet (only those that enable the updater when asked) and returns how many it added. With an
// online map, marks the drivers of printers that are not set to work offline.
int EnumFamilyPrinters(OnlineMap* onlineMap, std::vector<std::wstring>& drivers, bool updaterEnabledOnly);

// Reads the driver's "Info Dll" from the driver registry (the 32-bit view, or the 64-bit view
// when asked); false for drivers of excluded makers and drivers the registry does not know.
bool GetInfoLibrary(const std::wstring& driver, std::wstring& fileName, bool view64);
// The same in the 32-bit view first, then in the 64-bit view.
bool FindInfoLibrary(const std::wstring& driver, std::wstring& fileName);

// Loads the information library from the spooler's driver folder ("3" below it), else from the
// maker's folder in the common program files, else through the normal library search.
scup::UniqueModule LoadInfoLibrary(const std::wstring& fileName);

// Loads the library, asks it one capability of the device (a printer name) with an empty port and
// no device mode, and unloads it; -1 when the library cannot be loaded or does not answer.
int AskInfoLibrary(const std::wstring& fileName, const std::wstring& device, WORD capability);

// The model identifier reported for the first printer whose printer name (byPrinterName) or driver
// name equals the name; -1 when there is none or its library does not answer. Identifiers are kept
// per driver for the life of the process.
int GetPrinterModelId(const std::wstring& name, bool byPrinterName);

// The low byte "0" before a second byte of "OPQRS" reads as "4": both spellings name one model.
unsigned long NormalizeModelId(unsigned long modelId);

// Looks for the family printer that reports the model identifier and gives its name (or its
// special-tape name) in found. preferredName, when given, wins among exact matches.
bool FindPrinterByModelId(const wchar_t* preferredName, unsigned long modelId, std::wstring& found);

// "<printer>(<special tape text>)"; a name that already ends so is returned as it is.
std::wstring SpecialTapeName(const std::wstring& printerName);
// The printer's name without its special-tape suffix; empty when the name has none.
std::wstring StripSpecialTapeName(const std::wstring& name);

// True when the driver's "TransferChangeCmd" is non-zero.
bool IsTransferChangeCmd(const std::wstring& driver);

inline constexpr int kDriverKindOther = 0;
inline constexpr int kDriverKindInbox = 2;
inline constexpr int kDriverKindMobile = 3;
inline constexpr int kDriverKindMini = 5;
// 5 mini driver, 2 in-box driver, 3 mobile-series driver, 0 other. Keeps the mini-driver value or
// the in-box version in the printer object when one is given.
int GetDriverKind(const std::wstring& driver, CSCPrinter* printer);

// Drivers and printers of other makers ("EPS", "Mic", "Can", "DEC", "HP ", "IBM", "NEC").
bool HasExcludedPrefix(const std::wstring& name);

// A 32-bit value of the driver's key, in the 32-bit view, else in the 64-bit view.
bool ReadDriverValue(const std::wstring& driver, const wchar_t* valueName, DWORD& value);

// The spooler's printers at information level 2 (local and connected ones by default), read into
// one buffer that holds their texts too.
class CSpoolerPrinterInfo {
  public:
    // False when the spooler could not list them; the list is empty then.
    bool Enumerate(DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS);

    DWORD GetCount() const { return m_count; }
    const PRINTER_INFO_2W& operator[](DWORD index) const {
        return reinterpret_cast<const PRINTER_INFO_2W*>(m_buffer.data())[index];
    }
    // The first printer with exactly this printer name; none when there is no such printer.
    const PRINTER_INFO_2W* FindByPrinterName(const std::wstring& name) const;

  private:
    std::vector<BYTE> m_buffer;
    DWORD m_count = 0;
};

// The spooler's texts may be null.
inline std::wstring SpoolerText(const wchar_t* text) { return text ? text : L""; }
