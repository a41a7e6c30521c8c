#include "AULocalData.h"

#include <windows.h>

#include <vector>

#include "Spooler.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Trace.h"
#include "res/resource_ids.h"

using scup::AUTrace;

namespace {

bool IsLanguageText(const std::wstring& text) {
    for (UINT id = IDS_LOCALE_FIRST; id <= IDS_LOCALE_LAST; ++id)
        if (scup::LoadResString(id) == text) return true;
    return false;
}

}  // namespace

int CAULocalData::Initialize() {
    scup::TraceScope scope(L"CAULocalData::Initialize()");
    CAUConfigXML::Initialize();
    m_mapPrinters.clear();
    for (const SSpoolerPrinter& printer : EnumSpoolerPrinters())
        if (!printer.driver.empty()) m_mapPrinters[printer.driver];
    return 0;
}

PrinterMap CAULocalData::GetPrinterMap() const { return m_mapPrinters; }

std::wstring CAULocalData::LanguageTextForLocale(LCID locale) {
    const unsigned primary = locale & 0x3FF;
    const unsigned sub = (locale >> 10) & 0x3F;
    UINT id = 203;
    switch (primary) {
        case 0x01: id = 228; break;
        case 0x02: id = 221; break;
        case 0x04: id = (sub == 2 || sub == 4) ? 225 : 224; break;
        case 0x05: id = 200; break;
        case 0x06: id = 201; break;
        case 0x07: id = 202; break;
        case 0x09: id = (sub == 1 || sub == 4) ? 204 : 203; break;
        case 0x0A: id = 205; break;
        case 0x0B: id = 217; break;
        case 0x0C: id = 206; break;
        case 0x0D: id = 230; break;
        case 0x0E: id = 209; break;
        case 0x10: id = 208; break;
        case 0x11: id = 226; break;
        case 0x12: id = 227; break;
        case 0x13: id = 210; break;
        case 0x14: id = 211; break;
        case 0x15: id = 212; break;
        case 0x16: id = (sub == 1) ? 229 : 213; break;
        case 0x18: id = 214; break;
        case 0x19: id = 222; break;
        case 0x1A: id = 207; break;
        case 0x1B: id = 216; break;
        case 0x1D: id = 218; break;
        case 0x1E: id = 223; break;
        case 0x1F: id = 220; break;
        case 0x24: id = 215; break;
        case 0x2A: id = 219; break;
        default: break;
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
    return 0;
}

int CAULocalData::SetDefaultSelection(const std::wstring& printer, const std::wstring& locale,
                                      const std::wstring& language) {
    return SetUIDefaultSelection(printer, locale, language);
}

int CAULocalData::CollectPrinterEnvironment(const std::wstring& printer, bool) {
    return m_mapPrinters.count(printer) ? 0 : 1;
}
