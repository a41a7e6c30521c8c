// Every user-interface language against the English copy: every template, menu and text is there,
// the placeholders are kept, nothing is left in English where a translation belongs, the
// right-to-left languages are mirrored, and every text fits its control in every language.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "TextFit.h"
#include "app/ScUpdaterApp.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/firmware_ids.h"
#include "res/resource_ids.h"
#include "res/selfupdate_ids.h"
#include "res/updater_ids.h"
#include "ui/HistoryDialog.h"
#include "ui/LanguageMenu.h"
#include "ui/UpdaterDialog.h"

namespace {

using namespace testing_support;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kBritishEnglish = 2057;
// Base identifiers lie below the smallest language offset's copies.
constexpr UINT kFirstBaseId = 1000;
constexpr UINT kLastBaseId = 1499;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string Lines(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += Utf8(line) + "\n";
    return out;
}

std::wstring LanguageName(LANGID language) {
    for (const auto& entry : scup::InterfaceLanguages())
        if (entry.language == language) return std::to_wstring(language) + L" " + entry.ownName;
    return std::to_wstring(language);
}

std::vector<LANGID> Translations() {
    std::vector<LANGID> languages;
    for (const auto& entry : scup::InterfaceLanguages())
        if (entry.language != kEnglish) languages.push_back(entry.language);
    return languages;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<UINT>*>(param)->push_back(LOWORD(name));
    return TRUE;
}

std::vector<UINT> BaseResourceIds(LPCWSTR type) {
    std::vector<UINT> all, base;
    EnumResourceNamesW(scup::ResourceModule(), type, CollectName, reinterpret_cast<LONG_PTR>(&all));
    for (UINT id : all)
        if (id >= kFirstBaseId && id <= kLastBaseId) base.push_back(id);
    return base;
}

std::vector<UINT> BaseStringIds() {
    std::vector<UINT> ids;
    for (UINT id = kFirstBaseId; id <= kLastBaseId; ++id)
        if (scup::FindResString(id)) ids.push_back(id);
    return ids;
}

// The printf conversions of a text in order ("%%" is no placeholder).
std::vector<std::wstring> Placeholders(const std::wstring& text) {
    std::vector<std::wstring> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        size_t j = i + 1;
        if (j < text.size() && text[j] == L'%') {
            i = j;
            continue;
        }
        while (j < text.size() && wcschr(L"-+ #0123456789.lhI", text[j])) ++j;
        if (j < text.size()) found.push_back(text.substr(i, j - i + 1));
        i = j;
    }
    return found;
}

std::wstring Joined(const std::vector<std::wstring>& parts) {
    std::wstring out;
    for (const auto& part : parts) out += part + L" ";
    return out;
}

// Texts that are the same in English and in a language because that language writes them so
// (each language's glossary lists them); product and file names are the same everywhere.
bool MayEqualEnglish(LANGID language, const std::wstring& text) {
    static const std::set<std::wstring> everywhere = {L"", L"ScUpdater", L"OK"};
    static const std::map<LANGID, std::set<std::wstring>> deliberate = {
        {1029, {L"Port:"}},
        {1030, {L"Port:", L"Version:", L"Version", L"Printer", L"Printer:", L"Start"}},
        {1031, {L"Port:", L"Version:", L"Version", L"Name", L"Region:", L"&Update", L"&Region"}},
        {1036, {L"Version", L"Date"}},
        {1038, {L"Port:"}},
        {1040, {L"Password:", L"&File"}},
        {1043, {L"Printer", L"Printer:", L"&Update", L"&Help"}},
        {1044, {L"Port:", L"Region:", L"Start", L"&Region"}},
        {1045, {L"Port:", L"Region:", L"&Region"}},
        {1048, {L"Port:", L"Transfer"}},
        {1051, {L"Port:"}},
        {1053, {L"Port:", L"Version:", L"Version", L"Region:", L"&Region"}},
    };
    if (everywhere.count(text)) return true;
    auto found = deliberate.find(language);
    return found != deliberate.end() && found->second.count(text) > 0;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A template of the library as a window, hidden, with nothing of the program's code behind it.
struct TemplateWindow {
    TemplateWindow(UINT id) {
        hwnd = CreateDialogParamW(scup::ResourceModule(), MAKEINTRESOURCEW(id), nullptr, PlainDialogProc, 0);
    }
    ~TemplateWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
    TemplateWindow(const TemplateWindow&) = delete;
    TemplateWindow& operator=(const TemplateWindow&) = delete;
    HWND hwnd = nullptr;
};

// Item texts of a menu and its popups, depth first.
void CollectMenuTexts(HMENU menu, std::vector<std::wstring>& texts) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        texts.push_back(text);
        if (HMENU popup = GetSubMenu(menu, i)) CollectMenuTexts(popup, texts);
    }
}

std::vector<std::wstring> MenuTexts(UINT id) {
    std::vector<std::wstring> texts;
    HMENU menu = LoadMenuW(scup::ResourceModule(), MAKEINTRESOURCEW(id));
    if (!menu) return texts;
    CollectMenuTexts(menu, texts);
    DestroyMenu(menu);
    return texts;
}

class LanguageCopies : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    }
};

TEST_F(LanguageCopies, EveryLanguageHasItsOwnCopyOfEveryTemplateMenuAndText) {
    const std::vector<UINT> dialogs = BaseResourceIds(RT_DIALOG);
    const std::vector<UINT> menus = BaseResourceIds(RT_MENU);
    const std::vector<UINT> strings = BaseStringIds();
    ASSERT_GE(dialogs.size(), 12u);
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_GE(strings.size(), 40u);
    ASSERT_EQ(scup::InterfaceLanguages().size(), 31u);
    std::vector<std::wstring> missing;
    for (LANGID language : Translations()) {
        ASSERT_NE(scup::LanguageResourceOffset(language), 0) << language;
        for (UINT id : dialogs)
            if (!FindResourceW(scup::ResourceModule(), MAKEINTRESOURCEW(scup::LangResourceId(id, language)), RT_DIALOG))
                missing.push_back(LanguageName(language) + L": dialog " + std::to_wstring(id));
        for (UINT id : menus)
            if (!FindResourceW(scup::ResourceModule(), MAKEINTRESOURCEW(scup::LangResourceId(id, language)), RT_MENU))
                missing.push_back(LanguageName(language) + L": menu " + std::to_wstring(id));
        for (UINT id : strings)
            if (!scup::FindResString(scup::LangResourceId(id, language)))
                missing.push_back(LanguageName(language) + L": string " + std::to_wstring(id));
    }
    EXPECT_TRUE(missing.empty()) << Lines(missing);
}

TEST_F(LanguageCopies, TextsKeepTheirPlaceholdersInNumberAndOrder) {
    std::vector<std::wstring> wrong;
    for (LANGID language : Translations())
        for (UINT id : BaseStringIds()) {
            const std::wstring english = scup::LoadResString(id);
            const std::wstring text = scup::LoadResString(scup::LangResourceId(id, language));
            if (Placeholders(text) != Placeholders(english))
                wrong.push_back(LanguageName(language) + L": string " + std::to_wstring(id) + L" has '" +
                                Joined(Placeholders(text)) + L"' instead of '" + Joined(Placeholders(english)) + L"'");
        }
    EXPECT_TRUE(wrong.empty()) << Lines(wrong);
}

TEST_F(LanguageCopies, NoEnglishTextIsLeftWhereATranslationBelongs) {
    std::vector<std::wstring> left;
    for (LANGID language : Translations()) {
        // British English shares nearly every word with the base copy.
        if (language == kBritishEnglish) continue;
        const std::wstring name = LanguageName(language);
        for (UINT id : BaseStringIds()) {
            const std::wstring english = scup::LoadResString(id);
            if (scup::LoadResString(scup::LangResourceId(id, language)) == english && !MayEqualEnglish(language, english))
                left.push_back(name + L": string " + std::to_wstring(id) + L" '" + english + L"'");
        }
        for (UINT id : BaseResourceIds(RT_DIALOG)) {
            TemplateWindow base(id), copy(scup::LangResourceId(id, language));
            ASSERT_TRUE(base.hwnd && copy.hwnd) << Utf8(name) << " dialog " << id;
            if (GetWindowTextLengthW(copy.hwnd) > 0) {
                wchar_t a[256] = {}, b[256] = {};
                GetWindowTextW(base.hwnd, a, 256);
                GetWindowTextW(copy.hwnd, b, 256);
                if (std::wstring(a) == b && !MayEqualEnglish(language, a))
                    left.push_back(name + L": dialog " + std::to_wstring(id) + L" caption '" + a + L"'");
            }
            const auto englishTexts = ControlTexts(base.hwnd);
            const auto texts = ControlTexts(copy.hwnd);
            ASSERT_EQ(englishTexts.size(), texts.size()) << Utf8(name) << " dialog " << id;
            for (size_t i = 0; i < texts.size(); ++i)
                if (texts[i].second == englishTexts[i].second && !MayEqualEnglish(language, texts[i].second))
                    left.push_back(name + L": dialog " + std::to_wstring(id) + L" control " +
                                   std::to_wstring(texts[i].first) + L" '" + texts[i].second + L"'");
        }
        const auto englishMenu = MenuTexts(IDM_UPDATER);
        const auto menu = MenuTexts(scup::LangResourceId(IDM_UPDATER, language));
        ASSERT_EQ(englishMenu.size(), menu.size()) << Utf8(name);
        for (size_t i = 0; i < menu.size(); ++i)
            if (menu[i] == englishMenu[i] && !MayEqualEnglish(language, menu[i]))
                left.push_back(name + L": menu item '" + menu[i] + L"'");
    }
    EXPECT_TRUE(left.empty()) << Lines(left);
}

TEST_F(LanguageCopies, ArabicAndHebrewWindowsAreMirroredAndNoOthers) {
    for (const auto& entry : scup::InterfaceLanguages()) {
        TemplateWindow start(scup::LangResourceId(IDD_START, entry.language));
        ASSERT_TRUE(start.hwnd) << entry.language;
        const bool mirrored = (GetWindowLongW(start.hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
        EXPECT_EQ(mirrored, scup::IsRightToLeftLanguage(entry.language)) << entry.language;
    }
    EXPECT_TRUE(scup::IsRightToLeftLanguage(1037));
    EXPECT_EQ(scup::LangMessageBoxStyle(MB_OK, 1037), static_cast<UINT>(MB_OK | MB_RTLREADING | MB_RIGHT));
}

// ---------------------------------------------------------------------------------------------
// Fallback to the English copy

TEST(LanguageFallback, ACopyTheLibraryLacksComesFromEnglish) {
    // A library with the English copy alone, as a damaged or partial installation may have.
    scup::UniqueModule partial(LoadLibraryW((BinFolder() + L"fixtures\\ScUpRes-english-only.dll").c_str()));
    ASSERT_TRUE(partial);
    HMODULE full = scup::ResourceModule();
    EXPECT_EQ(scup::LangTemplateId(IDD_START, 1031), IDD_START + 2000u);
    EXPECT_EQ(scup::LangMenuId(IDM_UPDATER, 1031), IDM_UPDATER + 2000u);
    const std::wstring german = scup::LoadLangString(IDS_START_INTRO, 1031);
    scup::SetResourceModule(partial.get());
    const UINT fallbackTemplate = scup::LangTemplateId(IDD_START, 1031);
    const UINT fallbackMenu = scup::LangMenuId(IDM_UPDATER, 1031);
    const std::wstring fallbackText = scup::LoadLangString(IDS_START_INTRO, 1031);
    const std::wstring english = scup::LoadLangString(IDS_START_INTRO, kEnglish);
    scup::SetResourceModule(full);
    EXPECT_EQ(fallbackTemplate, static_cast<UINT>(IDD_START));
    EXPECT_EQ(fallbackMenu, static_cast<UINT>(IDM_UPDATER));
    EXPECT_FALSE(english.empty());
    EXPECT_EQ(fallbackText, english);
    EXPECT_NE(german, english);
}

// ---------------------------------------------------------------------------------------------
// Every text fits

struct SRuntimeText {
    UINT dialog;
    int control;
    UINT text;  // 0: the template's own text
    bool bold;
};

// Texts the program puts into template controls when it opens them, and the headings it draws bold.
constexpr SRuntimeText kRuntimeTexts[] = {
    {IDD_START, IDC_START_INTRO, IDS_START_INTRO, false},
    {IDD_START, IDC_START_FIRMWARE_TITLE, IDS_START_FIRMWARE_TITLE, true},
    {IDD_START, IDC_START_FIRMWARE_TEXT, IDS_START_FIRMWARE_TEXT, false},
    {IDD_START, IDC_START_SOFTWARE_TITLE, IDS_START_SOFTWARE_TITLE, true},
    {IDD_START, IDC_START_SOFTWARE_TEXT, IDS_START_SOFTWARE_TEXT, false},
    {IDD_MESSAGE, IDC_MSG_LINE, IDS_UPD_CHECKING, false},
    {IDD_ALT_MESSAGE, IDC_ALT_TEXT, IDS_MSG_LOCALE_NOT_INSTALLED, false},
    {IDD_FIRM_UPDATE, IDC_FIRM_UPDATE_HEADING, 0, true},
    {IDD_SELF_UPDATE, IDC_SELF_UPDATE_HEADING, 0, true},
};

void PutRuntimeTexts(HWND hwnd, UINT baseDialog, LANGID language, std::vector<scup::UniqueFont>& fonts) {
    for (const SRuntimeText& entry : kRuntimeTexts) {
        if (entry.dialog != baseDialog) continue;
        HWND control = GetDlgItem(hwnd, entry.control);
        if (entry.text != 0) SetWindowTextW(control, scup::LoadLangString(entry.text, language).c_str());
        if (!entry.bold) continue;
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        lf.lfWeight = FW_BOLD;
        fonts.emplace_back(CreateFontIndirectW(&lf));
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.back().get()), FALSE);
    }
}

TEST_F(LanguageCopies, EveryTemplateFitsItsTextsInEveryLanguage) {
    std::vector<std::wstring> overflows;
    for (const auto& entry : scup::InterfaceLanguages())
        for (UINT base : BaseResourceIds(RT_DIALOG)) {
            TemplateWindow window(scup::LangResourceId(base, entry.language));
            ASSERT_TRUE(window.hwnd) << entry.language << " " << base;
            std::vector<scup::UniqueFont> fonts;
            PutRuntimeTexts(window.hwnd, base, entry.language, fonts);
            for (const std::wstring& problem : FindTextOverflows(window.hwnd))
                overflows.push_back(LanguageName(entry.language) + L", dialog " + std::to_wstring(base) + L": " + problem);
        }
    EXPECT_TRUE(overflows.empty()) << overflows.size() << " overflows:\n" << Lines(overflows);
}

class LanguageFitOfDialogs : public LanguageCopies {
protected:
    void SetUp() override {
        // The main dialog signals the update thread's events; here nobody waits on them.
        for (const wchar_t* name : {L"REFRESH_EVENT", L"CHECK_EVENT", L"START_EVENT", L"RESETSERVER_EVENT"})
            events_.emplace_back(CreateEventW(nullptr, FALSE, FALSE, name));
    }
    void TearDown() override {
        for (auto& event : events_) ResetEvent(event.get());
    }

    // Runs the dialog modally here while a driver thread measures it, then closes it.
    template <typename RunIt, typename Close>
    std::vector<std::wstring> MeasureWhileRunning(RunIt runIt, Close close,
                                                  const SFitOptions& options) {
        const DWORD uiThread = GetCurrentThreadId();
        std::vector<std::wstring> problems;
        std::thread driver([&] {
            HWND hwnd = WaitForAnyThreadDialog(uiThread);
            if (!hwnd) {
                problems.push_back(L"the dialog never appeared");
                return;
            }
            problems = FindTextOverflows(hwnd, options);
            close(hwnd);
        });
        runIt();
        driver.join();
        return problems;
    }

    std::vector<scup::UniqueHandle> events_;
};

TEST_F(LanguageFitOfDialogs, MainDialogInBothViewsAndTheHistoryFitInEveryLanguage) {
    std::vector<std::wstring> overflows;
    SFitOptions main;
    main.buttonsWithIcon = {IDC_UPD_INSTALL};
    for (const auto& entry : scup::InterfaceLanguages()) {
        for (UpdateView view : {UpdateView::Software, UpdateView::Firmware}) {
            CUpdaterDialog dialog(entry.language, L"Corvane SC-200", 1033);
            dialog.SetPrinters({L"Corvane SC-200"});
            auto problems = MeasureWhileRunning(
                [&] { dialog.Run(view); },
                [&](HWND hwnd) {
                    dialog.SetReady(1);
                    PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
                },
                main);
            for (const auto& problem : problems)
                overflows.push_back(
                    LanguageName(entry.language) +
                    (view == UpdateView::Firmware ? L", firmware view: " : L", software view: ") + problem);
        }
        scup::CHistoryDialog history(entry.language);
        auto problems = MeasureWhileRunning(
            [&] { history.DoModal(); },
            [](HWND hwnd) { PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0); }, {});
        for (const auto& problem : problems) overflows.push_back(LanguageName(entry.language) + L", history: " + problem);
    }
    EXPECT_TRUE(overflows.empty()) << overflows.size() << " overflows:\n" << Lines(overflows);
}

}  // namespace
