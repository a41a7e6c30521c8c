#include "LangResources.h"

#include <mutex>

#include "MainThreadCalls.h"
#include "RtlMessageBoxHook.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

namespace scup {
namespace {

struct LanguageOffset {
    LANGID language;
    int offset;
};

constexpr LanguageOffset kOffsets[] = {
    {1025, 14000}, {1026, 11000}, {1028, 12500}, {1029, 1000},  {1030, 1500},  {1031, 2000},  {1034, 3000},
    {1035, 9000},  {1036, 3500},  {1037, 15000}, {1038, 5000},  {1040, 4500},  {1041, 500},   {1042, 13500},
    {1043, 5500},  {1044, 6000},  {1045, 6500},  {1046, 14500}, {1048, 7500},  {1049, 11500}, {1050, 4000},
    {1051, 8500},  {1053, 9500},  {1054, 12000}, {1055, 10500}, {1060, 8000},  {1066, 10000}, {2052, 13000},
    {2057, 2500},  {2070, 7000},
};

std::mutex& HandlerMutex() {
    static std::mutex m;
    return m;
}
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

}  // namespace

int LanguageResourceOffset(LANGID language) {
    for (const auto& entry : kOffsets)
        if (entry.language == language) return entry.offset;
    return 0;
}

UINT LangResourceId(UINT baseId, LANGID language) { return baseId + LanguageResourceOffset(language); }

namespace {
UINT ExistingOrBaseId(UINT baseId, LANGID language, LPCWSTR type) {
    const UINT id = LangResourceId(baseId, language);
    if (id == baseId || FindResourceW(ResourceModule(), MAKEINTRESOURCEW(id), type)) return id;
    return baseId;
}
}  // namespace

UINT LangTemplateId(UINT baseId, LANGID language) { return ExistingOrBaseId(baseId, language, RT_DIALOG); }
UINT LangMenuId(UINT baseId, LANGID language) { return ExistingOrBaseId(baseId, language, RT_MENU); }

bool IsRightToLeftLanguage(LANGID language) { return language == 1025 || language == 1037; }

UINT LangMessageBoxStyle(UINT style, LANGID language) {
    return IsRightToLeftLanguage(language) ? (style | kRtlMessageBoxFlags) : style;
}

std::wstring LoadLangString(UINT baseId, LANGID language) {
    if (auto text = FindResString(LangResourceId(baseId, language))) return *text;
    return LoadResString(baseId);
}

std::wstring AppTitle(LANGID language) {
    std::wstring title = LoadLangString(IDS_APP_TITLE, language);
    return title.empty() ? std::wstring(L"ScUpdater") : title;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(HandlerMutex());
    std::swap(Handler(), handler);
    return handler;
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
    return ResultOnMainThread([&] {
        MessageBoxHandler handler;
        {
            std::lock_guard lock(HandlerMutex());
            handler = Handler();
        }
        if (handler) return handler(owner, text, caption, style);
        CRtlMessageBoxHook rightToLeft(style);
        return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
    });
}

void ShowWindowFailureMessage(LANGID language) {
    std::wstring text = ResourceModule() ? LoadLangString(IDS_MSG_WINDOW_FAILED, language) : std::wstring();
    if (text.empty())
        text = L"ScUpdater cannot open its window because its resource library (ScUpRes.dll) is damaged, "
               L"incomplete or missing. Install ScUpdater again.";
    const UINT style = LangMessageBoxStyle(MB_ICONERROR | MB_OK | kUpdateFlowMessageBoxFlags, language);
    ShowMessageBox(nullptr, text, ResourceModule() ? AppTitle(language) : std::wstring(L"ScUpdater"), style);
}

int ShowLangMessage(HWND owner, UINT baseTextId, LANGID language, UINT iconAndButtons) {
    return ShowLangText(owner, LoadLangString(baseTextId, language), language, iconAndButtons);
}

int ShowLangText(HWND owner, const std::wstring& text, LANGID language, UINT iconAndButtons) {
    const UINT style = LangMessageBoxStyle(iconAndButtons | kUpdateFlowMessageBoxFlags, language);
    return ShowMessageBox(owner, text, AppTitle(language), style);
}

}  // namespace scup
