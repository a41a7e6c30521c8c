#include "AULocalData.h"

#include <windows.h>

#include <vector>

#include "common/AnsiText.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "local/InstalledTemplates.h"
#include "local/MakerApplications.h"
#include "local/PrinterDriver.h"
#include "local/PrinterList.h"
#include "res/resource_ids.h"

using scup::AUTrace;
using scup::FormatText;

namespace {

// A text value of at most maxBytes; false when absent.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text, DWORD maxBytes = 520) {
    std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = maxBytes;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    text.assign(buffer.data());
    return true;
}

std::wstring LocaleAbbreviation(LCID locale, LCTYPE type) {
    wchar_t text[8] = {};
    GetLocaleInfoW(locale, type, text, 8);
    return text;
}

std::wstring UserCountry() { return LocaleAbbreviation(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME); }

bool IsLanguageText(const std::wstring& text) {
    for (UINT id = IDS_LOCALE_FIRST; id <= IDS_LOCALE_LAST; ++id)
        if (scup::LoadResString(id) == text) return true;
    return false;
}

// A fixed-width 8-bit field of a stored-file record, cut at its first zero.
std::wstring RecordField(const std::string& record, size_t offset, size_t width) {
    if (record.size() < offset) return {};
    std::string field = record.substr(offset, width);
    field = field.substr(0, field.find('\0'));
    return scup::FromAnsi(field);
}

bool StartsWithFP(const std::wstring& code) { return scup::StartsWith(code, kFirmwarePrefix); }

std::wstring RowKey(const SAUExtFirmInfo& row) {
    return FormatText(L"%s_%s", row.strId.c_str(), row.strSpec.c_str());
}

std::wstring RememberedPrinter() {
    std::wstring name;
    HKEY editor = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane Industries, Ltd.\\Scribo Editor\\5.0\\Settings",
                      0, KEY_READ, &editor) == ERROR_SUCCESS) {
        scup::UniqueRegKey owner(editor);
        if ((ReadText(editor, L"DefPrn", name) && !name.empty()) ||
            (ReadText(editor, L"DefPtPrn", name) && !name.empty()))
            return name;
    }
    name.clear();
    if (auto setup = scup::OpenMakerKey(HKEY_LOCAL_MACHINE,
                                        L"Software\\Corvane Industries, Ltd.\\Scribo\\Driver\\Setup"))
        ReadText(setup.get(), L"LastInstalledPrinter", name);
    return name;
}

}  // namespace

bool CAULocalData::Initialize() {
    scup::TraceScope scope(L"CAULocalData::Initialize()");
    if (!CAUConfigXML::Initialize()) {
        AUTrace(L"Failed to initialize App Config file.");
        return false;
    }
    std::vector<std::wstring> drivers;
    EnumFamilyPrinters(nullptr, drivers, false);
    std::lock_guard lock(m_printersMutex);
    m_mapPrinters.clear();
    for (const std::wstring& driver : drivers) m_mapPrinters[driver];
    return true;
}

PrinterMap CAULocalData::GetPrinterMap() const {
    std::lock_guard lock(m_printersMutex);
    return m_mapPrinters;
}

bool CAULocalData::KnowsPrinter(const std::wstring& printer) const {
    std::lock_guard lock(m_printersMutex);
    return m_mapPrinters.count(printer) != 0;
}

void CAULocalData::StorePrinterRows(const std::wstring& printer, ComponentList rows) {
    std::lock_guard lock(m_printersMutex);
    m_mapPrinters[printer] = std::move(rows);
}

bool CAULocalData::GetInstalledPackageVersion(const std::wstring& code, std::wstring& version) {
    const scup::SMakerApplication* entry = scup::FindMakerApplication(code);
    if (!entry) return false;
    version = L"0";
    auto key = scup::OpenMakerKey(HKEY_LOCAL_MACHINE, scup::MakerKey(entry->product));
    std::wstring text;
    if (!key || !ReadText(key.get(), L"PackageVersion", text, 512)) return false;
    version = text;
    return true;
}

LANGID CAULocalData::GetApplicationLanguage(const std::wstring& code) {
    const scup::SMakerApplication* entry = scup::FindMakerApplication(code);
    if (!entry || !entry->resourceLibrary) return 0;
    auto key = scup::OpenMakerKey(HKEY_LOCAL_MACHINE, scup::MakerKey(entry->product));
    std::wstring path;
    if (!key || !ReadText(key.get(), L"ApplicationPath", path)) return 0;
    const std::wstring library = path + entry->resourceLibrary;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(library.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(library.c_str(), 0, size, info.data())) return 0;
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < sizeof(WORD) * 2)
        return 0;
    return translation[0];
}

std::wstring CAULocalData::GetOwnPackageVersion() { return scup::ReadMachineSettingText(L"PackageVersion"); }

std::wstring CAULocalData::GetProgramFileVersion(const std::wstring& path) {
    std::wstring program = path;
    if (program.empty()) {
        wchar_t own[MAX_PATH + 1] = {};
        if (GetModuleFileNameW(nullptr, own, MAX_PATH) == 0) return L"";
        program = own;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    if (size == 0) return L"";
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(program.c_str(), 0, size, info.data())) return L"";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return L"";
    return scup::FormatText(L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                            HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
}

void CAULocalData::AddTemplateRows(const SAUExtFirmInfo& base, const std::wstring& country,
                                   ComponentList& rows) const {
    for (const SInstalledTemplate& installed : ListInstalledTemplates()) {
        SAUExtFirmInfo row = base;
        row.strId = installed.strId;
        row.strInstalledVersion = installed.strPackageVersion;
        row.strSpec = installed.strLanguage + L"_" + country;
        rows[RowKey(row)] = row;
    }
}

SAUExtFirmInfo CAULocalData::FirmwareRowFromRecord(const std::wstring& printer, const std::string& record) {
    SAUExtFirmInfo row;
    row.strName = printer;
    row.strCategory = kFirmwareCategory;
    row.strId = RecordField(record, 32, 16);
    row.strSpec = RecordField(record, 69, 7);
    if (row.strSpec.empty()) row.strSpec = L"ALL_ALL";
    row.strInstalledVersion = RecordField(record, 64, 5);
    if (row.strInstalledVersion.empty()) row.strInstalledVersion = L"0";
    return row;
}

ComponentList CAULocalData::MergeFirmwareRows(const ComponentList& kept, const ComponentList& next) {
    ComponentList merged;
    auto keptHasCode = [&](const std::wstring& code) {
        for (const auto& [key, row] : kept)
            if (row.strId == code) return true;
        return false;
    };
    for (const auto& [key, row] : kept) {
        auto other = next.find(key);
        if (other != next.end())
            merged[key] = other->second.strInstalledVersion < row.strInstalledVersion ? other->second : row;
        else if (StartsWithFP(row.strId))
            merged[key] = row;
    }
    for (const auto& [key, row] : next)
        if (!kept.count(key) && StartsWithFP(row.strId) && !keptHasCode(row.strId)) merged[key] = row;
    return merged;
}

CAULocalData::Environment CAULocalData::CollectPrinterEnvironment(const std::wstring& printer,
                                                                  bool withFirmware) {
    const std::wstring country = UserCountry();
    // The rows are gathered without the lock (the registry, the printers' stored files) and
    // stored under it at once.
    if (!KnowsPrinter(printer)) return Environment::Collected;
    ComponentList rows;
    SAUExtFirmInfo base;
    base.strName = printer;
    auto addApplicationRow = [&](const wchar_t* code, const std::wstring& language) {
        SAUExtFirmInfo row = base;
        row.strCategory = kSoftwareCategory;
        row.strId = code;
        row.strSpec = language + L"_" + country;
        GetInstalledPackageVersion(code, row.strInstalledVersion);
        rows[RowKey(row)] = row;
    };
    for (const scup::SMakerApplication& application : scup::MakerApplications()) {
        if (application.resourceLibrary) {
            LANGID language = GetApplicationLanguage(application.code);
            if (language == 0) continue;
            addApplicationRow(application.code,
                              LocaleAbbreviation(MAKELCID(language, SORT_DEFAULT), LOCALE_SABBREVLANGNAME));
            if (std::wstring(application.code) == L"PP-SCEDIT50") AddTemplateRows(base, country, rows);
        } else {
            std::wstring version;
            if (GetInstalledPackageVersion(application.code, version))
                addApplicationRow(application.code, L"ALL");
        }
    }
    if (!withFirmware) {
        StorePrinterRows(printer, std::move(rows));
        return Environment::Collected;
    }
    std::vector<std::vector<std::string>> perPrinter;
    if (!m_readStoredFiles || !m_readStoredFiles(printer, perPrinter)) {
        StorePrinterRows(printer, std::move(rows));
        return Environment::NoPrinterConnected;
    }
    ComponentList firmware;
    bool first = true;
    for (const std::vector<std::string>& records : perPrinter) {
        ComponentList printerRows;
        for (const std::string& record : records) {
            SAUExtFirmInfo row = FirmwareRowFromRecord(printer, record);
            printerRows[RowKey(row)] = row;
        }
        firmware = first ? printerRows : MergeFirmwareRows(firmware, printerRows);
        first = false;
    }
    for (const auto& [key, row] : firmware) rows[key] = row;
    StorePrinterRows(printer, std::move(rows));
    return Environment::Collected;
}

std::wstring CAULocalData::LanguageTextForLocale(LCID locale) {
    const unsigned primary = locale & 0x3FF;
    const unsigned sub = (locale >> 10) & 0x3F;
    UINT id = 203;
    switch (primary) {
        case 0x01:
            id = 228;
            break;
        case 0x02:
            id = 221;
            break;
        case 0x04:
            id = (sub == 2 || sub == 4) ? 225 : 224;
            break;
        case 0x05:
            id = 200;
            break;
        case 0x06:
            id = 201;
            break;
        case 0x07:
            id = 202;
            break;
        case 0x09:
            id = (sub == 1 || sub == 4) ? 204 : 203;
            break;
        case 0x0A:
            id = 205;
            break;
        case 0x0B:
            id = 217;
            break;
        case 0x0C:
            id = 206;
            break;
        case 0x0D:
            id = 230;
            break;
        case 0x0E:
            id = 209;
            break;
        case 0x10:
            id = 208;
            break;
        case 0x11:
            id = 226;
            break;
        case 0x12:
            id = 227;
            break;
        case 0x13:
            id = 210;
            break;
        case 0x14:
            id = 211;
            break;
        case 0x15:
            id = 212;
            break;
        case 0x16:
            id = (sub == 1) ? 229 : 213;
            break;
        case 0x18:
            id = 214;
            break;
        case 0x19:
            id = 222;
            break;
        case 0x1A:
            id = 207;
            break;
        case 0x1B:
            id = 216;
            break;
        case 0x1D:
            id = 218;
            break;
        case 0x1E:
            id = 223;
            break;
        case 0x1F:
            id = 220;
            break;
        case 0x24:
            id = 215;
            break;
        case 0x2A:
            id = 219;
            break;
        default:
            break;
    }
    return scup::LoadResString(id);
}

int CAULocalData::GetDefaultSelection(std::wstring& printer, std::wstring& locale, std::wstring& language) {
    if (GetUIDefaultSelection(printer, locale, language) == kSuccess) return 0;
    std::wstring text = scup::ReadMachineSettingText(L"DefaultLCID");
    if (text.empty() || !IsLanguageText(text)) text = LanguageTextForLocale(GetUserDefaultLCID());
    locale = text;
    language = text;
    printer.clear();
    std::wstring remembered = RememberedPrinter();
    if (!remembered.empty()) {
        CPrinterList list;
        // Printers are known by their driver: the remembered queue gives its driver.
        if (CSCPrinter* found = list.FindPrinter(remembered)) printer = found->GetDriverName();
    }
    return 0;
}

int CAULocalData::SetDefaultSelection(const std::wstring& printer, const std::wstring& locale,
                                      const std::wstring& language) {
    return SetUIDefaultSelection(printer, locale, language);
}
