// The report of unattended runs as an IT department's tools read it, and the languages it is given in.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "app/UnattendedReport.h"
#include "app/UnattendedRun.h"
#include "common/AppFiles.h"

namespace {

using namespace testing_support;

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    return text;
}

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
    for (const char* line : {"\"result\": {", "\"code\": 4,", "\"name\": \"partly-done\"", "\"reached\": true,",
                             "\"printer\": \"Corvane SC-200\",", "\"installed\": \"5.2.0.0\",", "\"offered\": \"5.2.1\"",
                             "\"before\": \"5.2.0.0\",", "\"after\": \"5.2.1.0\"", "\"step\": \"transfer\",",
                             "\"reason\": \"the application is running; it was not closed\"",
                             "\"Die Firmware wurde nicht \\\"gesendet\\\".\"", "\"command\": \"-INSTALL ALL\","})
        EXPECT_NE(json.find(line), std::string::npos) << line << "\n" << json;
    const std::wstring summary = FilledReport().Summary();
    EXPECT_NE(summary.find(L"partly-done (exit code 4)"), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"offered 1, installed 1, skipped 1, failed 1"), std::wstring::npos) << summary;
}

TEST(UnattendedReport, IsWrittenWholeOverAnEarlierOneOrNotAtAll) {
    const std::wstring folder = MakeScratchFolder(L"unattended-report");
    const std::wstring path = folder + L"\\report.json";
    WriteText(path, "an earlier report");
    const CUnattendedReport report = FilledReport();
    ASSERT_TRUE(report.WriteTo(path));
    EXPECT_EQ(ReadText(path), report.Json());
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
