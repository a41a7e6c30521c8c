// The report of unattended runs as an IT department's tools read it, and the languages it is given in.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "app/UnattendedReport.h"
#include "app/UnattendedRun.h"
#include "common/AppFiles.h"

namespace {

using namespace testing_support;

CUnattendedReport FilledReport() {
    CUnattendedReport report;
    report.SetCommand(L"-INSTALL ALL");
    report.SetPrinter(L"Corvane SC-200");
    report.SetServer(true, L"");
    report.AddOffered({L"PP-SCEDIT52", L"ENU_ALL", L"PCS", L"Scribo Editor 5.2.1", L"5.2.0.0", L"5.2.1"});
    report.AddInstalled({L"PP-SCEDIT52", L"Scribo Editor 5.2.1", L"5.2.0.0", L"5.2.1.0"});
    report.AddSkipped({L"PP-CONTACT13", L"the application is running; it was not closed"});
    report.AddFailed({L"FP-MAIN", L"transfer", L"the printer did not store the new version"});
    report.AddMessage(L"Die Firmware wurde nicht \"gesendet\".");
    report.Finish(UnattendedExit::PartlyDone);
    return report;
}

TEST(UnattendedReport, TheDocumentGivesTheResultAndEveryList) {
    const std::string json = FilledReport().Json();
    for (const char* line :
         {"\"result\": {", "\"code\": 4,", "\"name\": \"partly-done\"", "\"reached\": true,",
          "\"printer\": \"Corvane SC-200\",", "\"installed\": \"5.2.0.0\",", "\"offered\": \"5.2.1\"",
          "\"before\": \"5.2.0.0\",", "\"after\": \"5.2.1.0\"", "\"step\": \"transfer\",",
          "\"reason\": \"the application is running; it was not closed\"",
          "\"Die Firmware wurde nicht \\\"gesendet\\\".\"", "\"command\": \"-INSTALL ALL\","})
        EXPECT_NE(json.find(line), std::string::npos) << line << "\n" << json;
    const std::wstring summary = FilledReport().Summary();
    EXPECT_NE(summary.find(L"partly-done (exit code 4)"), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"offered 1, installed 1, skipped 1, failed 1"), std::wstring::npos) << summary;
}

TEST(UnattendedReport, ATaskDoneWithAFailureOnTheWayIsPartlyDone) {
    CUnattendedReport clean;
    EXPECT_EQ(clean.Finish(UnattendedExit::Done), UnattendedExit::Done);
    CUnattendedReport upgradeFailed;
    upgradeFailed.AddFailed(
        {L"ScUpdater", L"self-upgrade", L"the newer updater 1.0.1 could not be installed"});
    EXPECT_EQ(upgradeFailed.Finish(UnattendedExit::Done), UnattendedExit::PartlyDone);
    EXPECT_NE(upgradeFailed.Json().find("\"name\": \"partly-done\""), std::string::npos);
    EXPECT_EQ(upgradeFailed.Finish(UnattendedExit::ServerUnreachable), UnattendedExit::ServerUnreachable);
}

TEST(UnattendedReport, IsWrittenWholeOverAnEarlierOneOrNotAtAll) {
    const std::wstring folder = MakeScratchFolder(L"unattended-report");
    const std::wstring path = folder + L"\\report.json";
    WriteTextFile(path, "an earlier report");
    const CUnattendedReport report = FilledReport();
    ASSERT_TRUE(report.WriteTo(path));
    EXPECT_EQ(ReadTextFile(path), report.Json());
    EXPECT_EQ(scup::PlainFilesOf(folder).size(), 1u) << "a temporary file was left beside";
    EXPECT_FALSE(report.WriteTo(folder + L"\\missing\\report.json"));
    EXPECT_EQ(scup::PlainFilesOf(folder).size(), 1u);
    scup::RemoveFolder(folder);
}

TEST(UnattendedLanguage, IsGivenByCodeOrLangIdOfTheProgramsLanguages) {
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L"de"), 1031);
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L"ja"), 1041);
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L"1036"), 1036);
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L"xx"), 0);
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L"1234"), 0) << "no language of the program";
    EXPECT_EQ(CUnattendedRun::ResolveLanguage(L""), 0);
}

}  // namespace
