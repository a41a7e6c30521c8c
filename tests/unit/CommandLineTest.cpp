#include <gtest/gtest.h>

#include "app/AUCommandLineInfo.h"

namespace {

struct Parsed {
    CAUCommandLineInfo info;
    std::vector<unsigned long> resolvedIds;
};

// Parses with a printer list that knows one printer, identifier 0x2074.
std::unique_ptr<Parsed> Parse(const std::vector<std::wstring>& args) {
    auto parsed = std::make_unique<Parsed>();
    Parsed* raw = parsed.get();
    parsed->info = CAUCommandLineInfo([raw](unsigned long id) {
        raw->resolvedIds.push_back(id);
        return id == 0x2074 ? std::wstring(L"Corvane SC-200") : std::wstring();
    });
    ParseCommandLine(parsed->info, args);
    return parsed;
}

TEST(CommandLine, NothingGivenLeavesEverythingClear) {
    auto p = Parse({});
    EXPECT_FALSE(p->info.m_bWaitForPrevious);
    EXPECT_FALSE(p->info.m_bUpdate);
    EXPECT_FALSE(p->info.m_bEditor);
    EXPECT_EQ(p->info.m_nEditorLCID, 0);
    EXPECT_TRUE(p->info.m_strEditorPrinter.empty());
}

TEST(CommandLine, SwitchNWithDashSlashOrNoPrefix) {
    for (const wchar_t* arg : {L"-N", L"/N", L"N"}) {
        auto p = Parse({arg});
        EXPECT_TRUE(p->info.m_bWaitForPrevious) << arg;
        EXPECT_FALSE(p->info.m_bUpdate) << arg;
    }
}

TEST(CommandLine, SwitchesAreCaseSensitiveAndOnlyOnePrefixIsStripped) {
    auto lower = Parse({L"-n", L"editor", L"update"});
    EXPECT_FALSE(lower->info.m_bWaitForPrevious);
    EXPECT_FALSE(lower->info.m_bEditor);
    EXPECT_FALSE(lower->info.m_bUpdate);
    auto twice = Parse({L"--N"});
    EXPECT_FALSE(twice->info.m_bWaitForPrevious);
}

TEST(CommandLine, UpdateTakesTargetSourceVersionAndIgnoresMore) {
    auto p = Parse({L"-UPDATE", L"C:\\A", L"C:\\B", L"1.2.0", L"extra", L"more"});
    EXPECT_TRUE(p->info.m_bUpdate);
    EXPECT_TRUE(p->info.m_bWaitForPrevious);
    EXPECT_EQ(p->info.m_strUpdateTarget, L"C:\\A");
    EXPECT_EQ(p->info.m_strUpdateSource, L"C:\\B");
    EXPECT_EQ(p->info.m_strUpdateVersion, L"1.2.0");
}

TEST(CommandLine, PlainParameterBeforeSwitchIsIgnored) {
    auto update = Parse({L"C:\\early", L"/UPDATE", L"C:\\A", L"C:\\B", L"2.0"});
    EXPECT_EQ(update->info.m_strUpdateTarget, L"C:\\A");
    EXPECT_EQ(update->info.m_strUpdateVersion, L"2.0");
    auto editor = Parse({L"1041", L"-EDITOR", L"1031"});
    EXPECT_EQ(editor->info.m_nEditorLCID, 1031);
    EXPECT_TRUE(editor->info.m_strEditorPrinter.empty());
}

TEST(CommandLine, EditorTakesLocaleAndHexPrinterIdentifier) {
    auto p = Parse({L"-EDITOR", L"1041", L"2074"});
    EXPECT_TRUE(p->info.m_bEditor);
    EXPECT_FALSE(p->info.m_bWaitForPrevious);
    EXPECT_EQ(p->info.m_nEditorLCID, 1041);
    ASSERT_EQ(p->resolvedIds.size(), 1u);
    EXPECT_EQ(p->resolvedIds[0], 0x2074u);
    EXPECT_EQ(p->info.m_strEditorPrinter, L"Corvane SC-200");
}

TEST(CommandLine, EditorLocaleThatIsNoNumberIsReadAgainFromTheNextParameter) {
    auto p = Parse({L"-EDITOR", L"abc", L"1041", L"2074"});
    EXPECT_EQ(p->info.m_nEditorLCID, 1041);
    EXPECT_EQ(p->info.m_strEditorPrinter, L"Corvane SC-200");
}

TEST(CommandLine, EditorUnknownPrinterLeavesItEmptyAndLaterParametersAreIgnored) {
    auto p = Parse({L"-EDITOR", L"1041", L"ffff"});
    EXPECT_TRUE(p->info.m_strEditorPrinter.empty());
    auto known = Parse({L"-EDITOR", L"1041", L"2074", L"ffff"});
    EXPECT_EQ(known->info.m_strEditorPrinter, L"Corvane SC-200");
    EXPECT_EQ(known->resolvedIds.size(), 1u);
}

TEST(CommandLine, UpdateWinsOverEditorForPlainParameters) {
    auto p = Parse({L"-UPDATE", L"-EDITOR", L"C:\\A", L"C:\\B", L"1.0"});
    EXPECT_TRUE(p->info.m_bEditor);
    EXPECT_EQ(p->info.m_strUpdateTarget, L"C:\\A");
    EXPECT_EQ(p->info.m_nEditorLCID, 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Unattended runs

TEST(UnattendedCommandLine, CheckAloneIsAnUnattendedCheckThatTheDialogsRoadNeverSees) {
    auto p = Parse({L"-CHECK"});
    EXPECT_EQ(p->info.m_unattended, UnattendedTask::Check);
    EXPECT_FALSE(p->info.m_bBadCommandLine) << p->info.m_strBadCommandLine;
    EXPECT_FALSE(p->info.m_bWaitForPrevious);
    EXPECT_EQ(Parse({L"N"})->info.m_unattended, UnattendedTask::None);
}

TEST(UnattendedCommandLine, InstallTakesAllOrCodesWithReportLanguageAndSelfUpdate) {
    auto all =
        Parse({L"/INSTALL", L"ALL", L"-REPORT", L"/var/log/scupdater.json", L"-LANG", L"de", L"-SELFUPDATE"});
    EXPECT_FALSE(all->info.m_bBadCommandLine) << all->info.m_strBadCommandLine;
    EXPECT_EQ(all->info.m_unattended, UnattendedTask::Install);
    EXPECT_TRUE(all->info.m_bInstallAll);
    EXPECT_TRUE(all->info.m_installCodes.empty());
    EXPECT_EQ(all->info.m_strReportFile, L"/var/log/scupdater.json") << "a value is taken whole";
    EXPECT_EQ(all->info.m_strReportLanguage, L"de");
    EXPECT_TRUE(all->info.m_bSelfUpdate);

    auto codes = Parse({L"-CHECK", L"-INSTALL", L" pp-scedit52, PP-CONTACT13 ,Pp-ScEdit52"});
    EXPECT_FALSE(codes->info.m_bBadCommandLine) << codes->info.m_strBadCommandLine;
    EXPECT_EQ(codes->info.m_unattended, UnattendedTask::Install) << "a check goes with an install";
    EXPECT_FALSE(codes->info.m_bInstallAll);
    EXPECT_EQ(codes->info.m_installCodes, (std::vector<std::wstring>{L"PP-SCEDIT52", L"PP-CONTACT13"}));
}

TEST(UnattendedCommandLine, TheUnattendedSwitchesAreTakenInAnyCase) {
    auto p = Parse({L"-install", L"all", L"/Report", L"r.json", L"-selfUpdate"});
    EXPECT_FALSE(p->info.m_bBadCommandLine) << p->info.m_strBadCommandLine;
    EXPECT_EQ(p->info.m_unattended, UnattendedTask::Install);
    EXPECT_TRUE(p->info.m_bInstallAll);
    EXPECT_EQ(p->info.m_strReportFile, L"r.json");
    EXPECT_TRUE(p->info.m_bSelfUpdate);
    auto missing = Parse({L"-firmware", L"-check"});
    EXPECT_EQ(missing->info.m_strBadCommandLine, L"-FIRMWARE needs a value");
}

TEST(UnattendedCommandLine, FirmwareTakesThePrinterAsGiven) {
    auto p = Parse({L"-FIRMWARE", L"Corvane SC-200", L"-CHECK"});
    EXPECT_FALSE(p->info.m_bBadCommandLine) << p->info.m_strBadCommandLine;
    EXPECT_EQ(p->info.m_unattended, UnattendedTask::Firmware);
    EXPECT_EQ(p->info.m_strFirmwarePrinter, L"Corvane SC-200");
}

TEST(UnattendedCommandLine, CommandLinesARunCannotFollowAreBadWithTheFirstReason) {
    const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> cases = {
        {{L"-INSTALL"}, L"-INSTALL needs a value"},
        {{L"-INSTALL", L"-CHECK"}, L"-INSTALL needs a value"},
        {{L"-FIRMWARE", L""}, L"-FIRMWARE is given an empty value"},
        {{L"-INSTALL", L"A,,B"}, L"-INSTALL takes ALL or package codes separated by commas"},
        {{L"-INSTALL", L"PP-A PP-B"}, L"-INSTALL takes ALL or package codes separated by commas"},
        {{L"-INSTALL", L"ALL", L"-FIRMWARE", L"Corvane SC-200"},
         L"INSTALL and FIRMWARE cannot be given together"},
        {{L"-REPORT", L"C:\\r.json"},
         L"-REPORT, -LANG and -SELFUPDATE go with -CHECK, -INSTALL or -FIRMWARE"},
        {{L"-EDITOR", L"1041", L"-CHECK"}, L"an unattended run cannot be an editor start or a self-update"},
        {{L"-CHECK", L"-QUIET"}, L"the program does not know the parameter -QUIET"},
        {{L"-check", L"-n"}, L"the program does not know the parameter -n"},
        {{L"stray", L"-INSTALL", L"ALL", L"/QUIET"}, L"the program does not know the parameter stray"},
    };
    for (const auto& [args, reason] : cases) {
        auto p = Parse(args);
        EXPECT_TRUE(p->info.m_bBadCommandLine) << reason;
        EXPECT_EQ(p->info.m_strBadCommandLine, reason);
    }
    auto dialogs = Parse({L"-N", L"-QUIET", L"stray"});
    EXPECT_FALSE(dialogs->info.m_bBadCommandLine) << "the dialogs' road still ignores what it does not know";
    auto missingThenCheck = Parse({L"-INSTALL", L"-CHECK"});
    EXPECT_TRUE(missingThenCheck->info.m_installCodes.empty())
        << "a switch is never taken for a package code";
}

TEST(UnattendedCommandLine, AnUpdateStartKeepsTheTaskForTheUpdaterItStartsAtItsEnd) {
    auto p = Parse({L"-UPDATE", L"C:\\A", L"C:\\B", L"1.2.0", L"-EDITOR", L"-INSTALL", L"ALL", L"-REPORT",
                    L"C:\\r.json"});
    EXPECT_FALSE(p->info.m_bBadCommandLine) << p->info.m_strBadCommandLine;
    EXPECT_TRUE(p->info.m_bUpdate);
    EXPECT_TRUE(p->info.m_bEditor);
    EXPECT_EQ(p->info.m_strUpdateVersion, L"1.2.0");
    EXPECT_EQ(p->info.m_unattended, UnattendedTask::None) << "the update itself runs no task";
    EXPECT_EQ(p->info.m_followUp,
              (std::vector<std::wstring>{L"-INSTALL", L"ALL", L"-REPORT", L"C:\\r.json"}));
}
