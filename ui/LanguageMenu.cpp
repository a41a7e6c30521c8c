#include "LanguageMenu.h"

#include <array>

namespace scup {
namespace {

// Latin scripts first in their alphabetical order, then the others by script.
constexpr std::array<SInterfaceLanguage, 31> kLanguages{{
    {1029, L"\u010Ce\u0161tina"},
    {1030, L"Dansk"},
    {1031, L"Deutsch"},
    {2057, L"English (United Kingdom)"},
    {1033, L"English (United States)"},
    {1034, L"Espa\u00F1ol"},
    {1036, L"Fran\u00E7ais"},
    {1050, L"Hrvatski"},
    {1040, L"Italiano"},
    {1038, L"Magyar"},
    {1043, L"Nederlands"},
    {1044, L"Norsk (bokm\u00E5l)"},
    {1045, L"Polski"},
    {1046, L"Portugu\u00EAs (Brasil)"},
    {2070, L"Portugu\u00EAs (Portugal)"},
    {1048, L"Rom\u00E2n\u0103"},
    {1051, L"Sloven\u010Dina"},
    {1060, L"Sloven\u0161\u010Dina"},
    {1035, L"Suomi"},
    {1053, L"Svenska"},
    {1066, L"Ti\u1EBFng Vi\u1EC7t"},
    {1055, L"T\u00FCrk\u00E7e"},
    {1026, L"\u0411\u044A\u043B\u0433\u0430\u0440\u0441\u043A\u0438"},
    {1049, L"\u0420\u0443\u0441\u0441\u043A\u0438\u0439"},
    {1037, L"\u05E2\u05D1\u05E8\u05D9\u05EA"},
    {1025, L"\u0627\u0644\u0639\u0631\u0628\u064A\u0629"},
    {1054, L"\u0E44\u0E17\u0E22"},
    {1042, L"\uD55C\uAD6D\uC5B4"},
    {2052, L"\u7B80\u4F53\u4E2D\u6587"},
    {1028, L"\u7E41\u9AD4\u4E2D\u6587"},
    {1041, L"\u65E5\u672C\u8A9E"},
}};

}  // namespace

std::span<const SInterfaceLanguage> InterfaceLanguages() { return kLanguages; }

void FillLanguageMenu(HMENU popup, UINT firstCommand, LANGID current) {
    if (!popup) return;
    while (GetMenuItemCount(popup) > 0) DeleteMenu(popup, 0, MF_BYPOSITION);
    for (size_t i = 0; i < kLanguages.size(); ++i) {
        const UINT command = firstCommand + static_cast<UINT>(i);
        AppendMenuW(popup, MF_STRING, command, kLanguages[i].ownName);
        if (kLanguages[i].language == current) {
            // The current language carries the round mark of a choice among several.
            CheckMenuRadioItem(popup, command, command, command, MF_BYCOMMAND);
        }
    }
}

LANGID LanguageOfCommand(UINT command, UINT firstCommand) {
    if (command < firstCommand || command - firstCommand >= kLanguages.size()) return 0;
    return kLanguages[command - firstCommand].language;
}

}  // namespace scup
