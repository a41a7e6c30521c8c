#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Resources.h"
#include "res/resource_ids.h"

namespace {

using scup::LangMessageBoxStyle;
using scup::LangResourceId;

TEST(LanguageOffset, UsEnglishAndUnlistedLanguagesUseBaseIdentifiers) {
    for (UINT id : {1100u, 1220u, 1487u}) {
        EXPECT_EQ(LangResourceId(id, 1033), id);
        EXPECT_EQ(LangResourceId(id, 1032), id);  // Greek is not a language of the library
        EXPECT_EQ(LangResourceId(id, 0), id);
    }
}

TEST(LanguageOffset, ListedLanguagesShiftByTheirOffset) {
    EXPECT_EQ(LangResourceId(1220, 1041), 1720u);
    EXPECT_EQ(LangResourceId(1220, 1037), 16220u);
    EXPECT_EQ(LangResourceId(1100, 1025), 15100u);
    EXPECT_EQ(LangResourceId(1487, 2057), 3987u);
    EXPECT_EQ(LangResourceId(1487, 2070), 8487u);
    EXPECT_EQ(LangResourceId(1487, 1046), 15987u);
}

TEST(LanguageOffset, EveryOffsetIsDistinctSoNoTwoLanguagesShareAnIdentifier) {
    std::vector<int> offsets;
    for (LANGID lang : {1025, 1026, 1028, 1029, 1030, 1031, 1034, 1035, 1036, 1037, 1038, 1040, 1041, 1042, 1043,
                        1044, 1045, 1046, 1048, 1049, 1050, 1051, 1053, 1054, 1055, 1060, 1066, 2052, 2057, 2070})
        offsets.push_back(scup::LanguageResourceOffset(lang));
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end());
    EXPECT_EQ(offsets.front(), 500);
    EXPECT_EQ(offsets.back(), 15000);
}

TEST(RightToLeft, ArabicAndHebrewMessageBoxesReadRightToLeft) {
    const UINT style = MB_ICONEXCLAMATION | MB_OK;
    EXPECT_EQ(LangMessageBoxStyle(style, 1025), style | 0x180000u);
    EXPECT_EQ(LangMessageBoxStyle(style, 1037), style | 0x180000u);
    EXPECT_EQ(LangMessageBoxStyle(style, 1036), style);
    EXPECT_EQ(LangMessageBoxStyle(style, 1033), style);
    EXPECT_EQ(LangMessageBoxStyle(style | scup::kUpdateFlowMessageBoxFlags, 1025), style | 0x1d0000u);
}

TEST(ResourceLibrary, EveryLanguageCopyHoldsTheMessagesAndTheyDiffer) {
    for (UINT id : {IDS_MSG_NO_PRINTER_DRIVER, IDS_MSG_UPDATE_FIRMWARE_NOW, IDS_MSG_PROXY_AUTH_REFUSED,
                    IDS_MSG_SERVER_UNREACHABLE, IDS_START_INTRO, IDS_START_SOFTWARE_TITLE}) {
        std::wstring en = scup::LoadLangString(id, 1033);
        std::wstring ja = scup::LoadLangString(id, 1041);
        std::wstring ar = scup::LoadLangString(id, 1025);
        EXPECT_FALSE(en.empty()) << id;
        EXPECT_FALSE(ja.empty()) << id;
        EXPECT_FALSE(ar.empty()) << id;
        EXPECT_NE(en, ja) << id;
        EXPECT_NE(en, ar) << id;
    }
    // Decoded as UTF-8 into real Japanese and Arabic characters, not code-page guesses.
    EXPECT_NE(scup::LoadLangString(IDS_START_INTRO, 1041).find(L'\x30e9'), std::wstring::npos);  // katakana "ra"
    EXPECT_NE(scup::LoadLangString(IDS_START_INTRO, 1025).find(L'\x0627'), std::wstring::npos);  // alef
}

TEST(ResourceLibrary, LanguageWithoutACopyGetsTheEnglishTextAndTitle) {
    // Greek is not among the program's languages: its offset is 0, the English copy's.
    EXPECT_EQ(scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1032), scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1033));
    EXPECT_FALSE(scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1032).empty());
    EXPECT_EQ(scup::AppTitle(1032), L"ScUpdater");
    EXPECT_EQ(scup::LangTemplateId(IDD_START, 1032), static_cast<UINT>(IDD_START));
}

TEST(ResourceLibrary, EveryDialogTemplateExistsForEveryLanguage) {
    for (LANGID lang : {1033, 1041, 1025})
        for (UINT id : {IDD_START, IDD_PRINTER_SELECT, IDD_UPDATER, IDD_ALT_MESSAGE})
            EXPECT_NE(FindResourceW(scup::ResourceModule(), MAKEINTRESOURCEW(LangResourceId(id, lang)), RT_DIALOG),
                      nullptr)
                << id << " " << lang;
}

TEST(ResourceLibrary, SettingsTablesLineUpSlotForSlot) {
    int filled = 0;
    for (UINT i = 0; i <= 30; ++i) {
        std::wstring locale = scup::LoadResString(IDS_LOCALE_FIRST + i);
        ASSERT_FALSE(locale.empty()) << i;
        EXPECT_NE(scup::ParseDecimal(locale), 0) << i;
        EXPECT_FALSE(scup::LoadResString(IDS_LANGNAME_FIRST + i).empty()) << i;
        EXPECT_EQ(scup::LoadResString(IDS_REGIONLIST_FIRST + i).size() % 4, 3u) << i;
        ++filled;
    }
    EXPECT_EQ(filled, 31);
    EXPECT_EQ(scup::LoadResString(IDS_REGISTRY_KEY), L"Corvane Industries, Ltd.");
    EXPECT_FALSE(scup::LoadResString(IDS_PROFILE_NAME).empty());
}

TEST(Format, WideConversionsFollowTheWindowsMeaning) {
    EXPECT_EQ(scup::FormatText(L"%s\\%s\\%s", L"a", L"b", L"c"), L"a\\b\\c");
    EXPECT_EQ(scup::FormatText(L"%s_%s", L"ENU", L"USA"), L"ENU_USA");
    EXPECT_EQ(scup::FormatText(L"NoMsg%d", 1487), L"NoMsg1487");
    EXPECT_EQ(scup::FormatText(L"%X", 0x2074u), L"2074");
    std::wstring longText(5000, L'x');
    EXPECT_EQ(scup::FormatText(L"%s!", longText.c_str()), longText + L"!");
}

}  // namespace
