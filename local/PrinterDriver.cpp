#include "PrinterDriver.h"

#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <optional>

#include "PrinterList.h"
#include "common/Format.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"

using scup::AUTrace;
using scup::StartsWithNoCase;
using scup::UniqueRegKey;

namespace {

// This program is a 64-bit process while the maker's drivers are 32-bit programs that write their
// keys to the 32-bit registry view. So the normal view of their keys is the 32-bit view, and the
// other one is the 64-bit view. The system counts as 64-bit always: a 64-bit process runs on no
// other, so every lookup that fails in the normal view is repeated in the 64-bit view.
REGSAM RegistryView(bool view64) { return view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

constexpr DWORD kMaxCompanyKeys = 3000;
constexpr DWORD kMaxDriverKeys = 300;
constexpr UINT kSpecialTapeTextId = 10000;
constexpr wchar_t kSpecialTapeDefault[] = L"Special Tape";

UniqueRegKey OpenKey(HKEY root, const std::wstring& path, REGSAM view) {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

// Registry names compare without case; the driver registry is matched exactly, so the subkeys are
// walked instead of opened by name.
bool HasSubkey(HKEY key, const std::wstring& name, DWORD limit) {
    for (DWORD index = 0; index < limit; ++index) {
        wchar_t subkey[256] = {};
        DWORD length = static_cast<DWORD>(std::size(subkey));
        LONG rc = RegEnumKeyExW(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return false;
        if (rc != ERROR_SUCCESS) continue;
        if (name == subkey) return true;
    }
    return false;
}

bool CompanyKnowsDriver(HKEY software, const std::wstring& company, const std::wstring& driver, REGSAM view) {
    if (!HasSubkey(software, company, kMaxCompanyKeys)) return false;
    UniqueRegKey drivers = OpenKey(
        software, scup::FormatText(L"%s\\%s\\%s\\%s", company.c_str(), L"Scribo", L"Driver", L"3.0"), view);
    return drivers && HasSubkey(drivers.get(), driver, kMaxDriverKeys);
}

bool ReadShortText(HKEY key, const wchar_t* name, std::wstring& out) {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    out.assign(buffer, wcsnlen(buffer, MAX_PATH));
    return true;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool HoldsMakerName(const std::wstring& driver) {
    std::wstring lower = driver;
    if (!lower.empty()) CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    return lower.find(L"corvane") != std::wstring::npos;
}

// 8-bit text of at most maxBytes bytes including its terminator, as the 8-bit query takes it; a
// longer text keeps as many whole characters as fit.
std::string ToAnsi(const std::wstring& text, int maxBytes) {
    std::string out(maxBytes, '\0');
    // Every character takes one byte at least.
    std::wstring part = text.substr(0, maxBytes - 1);
    int n = 0;
    while (!part.empty() && (n = WideCharToMultiByte(CP_ACP, 0, part.c_str(), static_cast<int>(part.size()),
                                                     out.data(), maxBytes - 1, nullptr, nullptr)) <= 0)
        part.pop_back();
    out.resize(part.empty() ? 0 : n);
    return out;
}

void CopyAnsiName(const WCHAR* wide, size_t capacity, BYTE* ansi) {
    const int length = static_cast<int>(wcsnlen(wide, capacity));
    WideCharToMultiByte(CP_ACP, 0, wide, length, reinterpret_cast<char*>(ansi),
                        static_cast<int>(capacity) - 1, nullptr, nullptr);
}

// The 8-bit form of the printer's device mode: public part converted, private part copied after it.
std::vector<BYTE> AnsiDevModeCopy(const DEVMODEW* wide) {
    const WORD extra = wide ? wide->dmDriverExtra : 0;
    std::vector<BYTE> buffer(sizeof(DEVMODEA) + extra, 0);
    auto* ansi = reinterpret_cast<DEVMODEA*>(buffer.data());
    if (wide && wide->dmSize >= offsetof(DEVMODEW, dmFormName)) {
        CopyAnsiName(wide->dmDeviceName, CCHDEVICENAME, ansi->dmDeviceName);
        const size_t numbers = offsetof(DEVMODEW, dmFormName) - offsetof(DEVMODEW, dmSpecVersion);
        memcpy(&ansi->dmSpecVersion, &wide->dmSpecVersion, numbers);
        if (wide->dmSize >= offsetof(DEVMODEW, dmLogPixels))
            CopyAnsiName(wide->dmFormName, CCHFORMNAME, ansi->dmFormName);
        if (wide->dmSize > offsetof(DEVMODEW, dmLogPixels)) {
            const size_t rest =
                std::min<size_t>(wide->dmSize, sizeof(DEVMODEW)) - offsetof(DEVMODEW, dmLogPixels);
            memcpy(&ansi->dmLogPixels, &wide->dmLogPixels, rest);
        }
        memcpy(buffer.data() + sizeof(DEVMODEA), reinterpret_cast<const BYTE*>(wide) + wide->dmSize, extra);
    }
    ansi->dmSize = sizeof(DEVMODEA);
    ansi->dmDriverExtra = extra;
    return buffer;
}

// The information library while it is loaded, with its query.
struct SLoadedInfoLibrary {
    scup::UniqueModule module;
    InfoLibraryQuery query = nullptr;
};

std::optional<SLoadedInfoLibrary> OpenInfoLibrary(const std::wstring& fileName) {
    SLoadedInfoLibrary library{LoadInfoLibrary(fileName), nullptr};
    if (!library.module) {
        AUTrace(L"Failed: LoadInfoLibrary(%s)", fileName.c_str());
        return std::nullopt;
    }
    library.query = reinterpret_cast<InfoLibraryQuery>(
        reinterpret_cast<void*>(GetProcAddress(library.module.get(), kInfoLibraryExport)));
    if (!library.query) {
        AUTrace(L"Failed: %s has no MyDeviceCapabilities", fileName.c_str());
        return std::nullopt;
    }
    return library;
}

std::mutex& ModelIdCacheMutex() {
    static std::mutex mutex;
    return mutex;
}
// Driver name to the model identifier its library reported.
std::map<std::wstring, int>& ModelIdCache() {
    static std::map<std::wstring, int> cache;
    return cache;
}

std::optional<int> CachedModelId(const std::wstring& driver) {
    std::lock_guard lock(ModelIdCacheMutex());
    auto it = ModelIdCache().find(driver);
    if (it == ModelIdCache().end()) return std::nullopt;
    return it->second;
}

void StoreModelId(const std::wstring& driver, int modelId) {
    std::lock_guard lock(ModelIdCacheMutex());
    ModelIdCache()[driver] = modelId;
}

const PRINTER_INFO_2W* FindByDriverName(const CSpoolerPrinterInfo& printers, const std::wstring& driver) {
    for (DWORD i = 0; i < printers.GetCount(); ++i)
        if (SpoolerText(printers[i].pDriverName) == driver) return &printers[i];
    return nullptr;
}

bool IsUpdaterEnabled(const std::wstring& driver) {
    DWORD value = 0;
    if (ReadDriverValue(driver, L"TransferUI", value) && value != 0) return true;
    return ReadDriverValue(driver, L"EnableUpdater", value) && value != 0;
}

std::wstring SpecialTapeSuffix() {
    return L"(" + scup::FindResString(kSpecialTapeTextId).value_or(kSpecialTapeDefault) + L")";
}

// How well a reported identifier matches the one asked for: 1 same low byte, 2 same low 16 bits,
// 3 the same in full.
int MatchScore(unsigned long reported, unsigned long wanted) {
    if (reported == wanted) return 3;
    if ((reported & 0xFFFF) == (wanted & 0xFFFF)) return 2;
    if ((reported & 0xFF) == (wanted & 0xFF)) return 1;
    return 0;
}

}  // namespace

bool CSpoolerPrinterInfo::Enumerate(DWORD flags) {
    m_buffer.clear();
    m_count = 0;
    // A printer added between the size query and the listing makes the buffer too small: ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0, count = 0;
        EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
        if (needed == 0) return true;  // no printers, or a spooler that cannot list them: nothing
        m_buffer.assign(needed, 0);
        if (EnumPrintersW(flags, nullptr, 2, m_buffer.data(), needed, &needed, &count)) {
            m_count = count;
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    m_buffer.clear();
    return false;
}

const PRINTER_INFO_2W* CSpoolerPrinterInfo::FindByPrinterName(const std::wstring& name) const {
    for (DWORD i = 0; i < m_count; ++i)
        if (SpoolerText((*this)[i].pPrinterName) == name) return &(*this)[i];
    return nullptr;
}

bool HasExcludedPrefix(const std::wstring& name) {
    static const wchar_t* const kExcluded[] = {L"EPS", L"Mic", L"Can", L"DEC", L"HP ", L"IBM", L"NEC"};
    return std::any_of(std::begin(kExcluded), std::end(kExcluded),
                       [&](const wchar_t* prefix) { return StartsWithNoCase(name, prefix); });
}

bool ReadDriverValue(const std::wstring& driver, const wchar_t* valueName, DWORD& value) {
    const std::wstring path = scup::FormatText(kDriverKeyFormat, driver.c_str());
    for (bool view64 : {false, true}) {
        UniqueRegKey key = OpenKey(HKEY_LOCAL_MACHINE, path, RegistryView(view64));
        if (!key) continue;
        DWORD type = 0, data = 0, size = sizeof(data);
        if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof(data)) {
            value = data;
            return true;
        }
    }
    return false;
}

bool GetInfoLibrary(const std::wstring& driver, std::wstring& fileName, bool view64) {
    if (driver.empty() || HasExcludedPrefix(driver)) return false;
    const REGSAM view = RegistryView(view64);
    UniqueRegKey software = OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE", view);
    if (!software) return false;

    // A build under another company's key keeps its drivers there; the maker's key is the fallback.
    std::wstring company = scup::GetAppIdentity().registryKey;
    if (company.empty() || company == kMakerCompanyKey ||
        !CompanyKnowsDriver(software.get(), company, driver, view)) {
        company = kMakerCompanyKey;
        if (!CompanyKnowsDriver(software.get(), company, driver, view)) return false;
    }
    UniqueRegKey key = OpenKey(software.get(),
                               scup::FormatText(L"%s\\%s\\%s\\%s\\%s", company.c_str(), L"Scribo", L"Driver",
                                                L"3.0", driver.c_str()),
                               view);
    std::wstring library;
    // An empty "Info Dll" names no library.
    if (!key || !ReadShortText(key.get(), L"Info Dll", library) || library.empty()) return false;
    fileName = library;
    return true;
}

bool FindInfoLibrary(const std::wstring& driver, std::wstring& fileName) {
    return GetInfoLibrary(driver, fileName, false) || GetInfoLibrary(driver, fileName, true);
}

scup::UniqueModule LoadInfoLibrary(const std::wstring& fileName) {
    if (fileName.empty()) return {};
    std::vector<std::wstring> places;

    wchar_t driverFolder[MAX_PATH] = {};
    DWORD needed = 0;
    if (GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(driverFolder),
                                   sizeof(driverFolder), &needed) &&
        driverFolder[0])
        places.push_back(std::wstring(driverFolder) + L"\\3\\" + fileName);

    // Every system this program runs on belongs to the NT family above version 4. The driver package
    // puts its libraries for this program's bitness under this program's common files folder.
    wchar_t commonFiles[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT,
                                   commonFiles))) {
        const size_t length = wcslen(commonFiles);
        if (length > 0 && length + fileName.size() < 235)
            places.push_back(std::wstring(commonFiles) + L"\\Corvane\\Scribo\\" + fileName);
    }
    places.push_back(fileName);

    for (const std::wstring& place : places) {
        scup::UniqueModule module(LoadLibraryW(place.c_str()));
        if (module) return module;
    }
    return {};
}

int AskInfoLibrary(const std::wstring& fileName, const std::wstring& device, WORD capability) {
    std::optional<SLoadedInfoLibrary> library = OpenInfoLibrary(fileName);
    if (!library) return -1;
    return library->query(ToAnsi(device, MAX_PATH).c_str(), "", capability, nullptr, nullptr);
}

int EnumFamilyPrinters(OnlineMap* onlineMap, std::vector<std::wstring>& drivers, bool updaterEnabledOnly) {
    scup::TraceScope scope(L"EnumFamilyPrinters()");
    CSpoolerPrinterInfo printers;
    if (!printers.Enumerate()) {
        AUTrace(L"Failed: EnumPrinters");
        return 0;
    }
    int added = 0;
    for (DWORD i = 0; i < printers.GetCount(); ++i) {
        const std::wstring driver = SpoolerText(printers[i].pDriverName);
        const bool online = (printers[i].Attributes & kPrinterWorkOffline) == 0;
        if (!HoldsMakerName(driver)) continue;
        if (std::find(drivers.begin(), drivers.end(), driver) != drivers.end()) {
            if (onlineMap && online) (*onlineMap)[driver] = true;
            continue;
        }
        std::wstring library;
        if (!FindInfoLibrary(driver, library)) continue;
        if (updaterEnabledOnly && !IsUpdaterEnabled(driver)) continue;
        drivers.push_back(driver);
        ++added;
        if (onlineMap && online) (*onlineMap)[driver] = true;
    }
    return added;
}

int GetPrinterModelId(const std::wstring& name, bool byPrinterName) {
    scup::TraceScope scope(L"GetPrinterModelId()");
    CSpoolerPrinterInfo printers;
    if (!printers.Enumerate()) return -1;
    const PRINTER_INFO_2W* printer =
        byPrinterName ? printers.FindByPrinterName(name) : FindByDriverName(printers, name);
    if (!printer) {
        AUTrace(L"Failed: no printer %s", name.c_str());
        return -1;
    }
    const std::wstring driver = SpoolerText(printer->pDriverName);
    if (std::optional<int> cached = CachedModelId(driver)) return *cached;

    std::wstring fileName;
    if (!FindInfoLibrary(driver, fileName)) {
        AUTrace(L"Failed: no information library for %s", driver.c_str());
        return -1;
    }
    std::optional<SLoadedInfoLibrary> library = OpenInfoLibrary(fileName);
    if (!library) return -1;
    const std::string driverAnsi = ToAnsi(driver, MAX_PATH);
    const std::string portAnsi = ToAnsi(SpoolerText(printer->pPortName), MAX_PATH);
    std::vector<BYTE> devMode = AnsiDevModeCopy(printer->pDevMode);
    const int modelId = library->query(driverAnsi.c_str(), portAnsi.c_str(), kCapModelId, nullptr,
                                       reinterpret_cast<const DEVMODEA*>(devMode.data()));
    // A library that could not answer now may answer later: only answers are kept.
    if (modelId != -1) StoreModelId(driver, modelId);
    AUTrace(L"Success: model identifier of %s is %X", driver.c_str(), static_cast<unsigned>(modelId));
    return modelId;
}

unsigned long NormalizeModelId(unsigned long modelId) {
    const unsigned long second = (modelId >> 8) & 0xFF;
    if ((modelId & 0xFF) == '0' && second >= 'O' && second <= 'S') return (modelId & ~0xFFUL) | '4';
    return modelId;
}

bool FindPrinterByModelId(const wchar_t* preferredName, unsigned long modelId, std::wstring& found) {
    scup::TraceScope scope(L"FindPrinterByModelId()");
    const unsigned long wanted = NormalizeModelId(modelId);
    if ((wanted & 0xFFFF) == 0) return false;

    int bestScore = 0;
    std::wstring best;
    for (const SFamilyPrinter& candidate : EnumFamilyPrinterQueues()) {
        std::optional<SLoadedInfoLibrary> library = OpenInfoLibrary(candidate.infoLibrary);
        if (!library) continue;
        const std::string device = ToAnsi(candidate.name, MAX_PATH);
        const int reported = library->query(device.c_str(), "", kCapModelId, nullptr, nullptr);
        if (reported == -1) continue;
        const unsigned long model = NormalizeModelId(static_cast<unsigned int>(reported));
        const int score = MatchScore(model, wanted);
        if (score >= 2 && (wanted & kSpecialTapeModelFlag)) {
            const int tape = library->query(device.c_str(), "", kCapSpecialTape, nullptr, nullptr);
            if (tape != -1 && (static_cast<unsigned int>(tape) & kSpecialTapeDriverFlag)) {
                found = SpecialTapeName(candidate.name);
                return true;
            }
        }
        if (score == 3 && preferredName && candidate.name == preferredName) {
            found = candidate.name;
            return true;
        }
        if (score > bestScore) {
            bestScore = score;
            best = candidate.name;
        }
    }
    if (bestScore == 0) {
        AUTrace(L"Failed: no printer reports %X", static_cast<unsigned>(modelId));
        return false;
    }
    found = best;
    return true;
}

std::wstring SpecialTapeName(const std::wstring& printerName) {
    const std::wstring suffix = SpecialTapeSuffix();
    return EndsWith(printerName, suffix) ? printerName : printerName + suffix;
}

std::wstring StripSpecialTapeName(const std::wstring& name) {
    const std::wstring suffix = SpecialTapeSuffix();
    if (name.size() <= suffix.size() || !EndsWith(name, suffix)) return {};
    return name.substr(0, name.size() - suffix.size());
}

bool IsTransferChangeCmd(const std::wstring& driver) {
    DWORD value = 0;
    return ReadDriverValue(driver, L"TransferChangeCmd", value) && value != 0;
}

int GetDriverKind(const std::wstring& driver, CSCPrinter* printer) {
    DWORD miniDriver = 0;
    if (ReadDriverValue(driver, L"MiniDriver", miniDriver) && miniDriver != 0) {
        if (printer) printer->SetMiniDriver(miniDriver);
        return kDriverKindMini;
    }
    std::wstring library;
    const bool hasLibrary = FindInfoLibrary(driver, library);
    if (hasLibrary && StartsWithNoCase(library, L"CVSCMI")) {
        DWORD version = 0;
        if (!ReadDriverValue(driver, L"InboxVersion", version)) version = 0;
        if (printer) printer->SetInboxVersion(version);
        return kDriverKindInbox;
    }
    if (!hasLibrary && StartsWithNoCase(driver, L"Corvane FL-")) return kDriverKindMobile;
    return kDriverKindOther;
}
