// A check and an install run against the real update server with the demo catalog, whose
// software packages are the stand-in installers and the template .msi of this build. Run by
// tests/server/run_with_server.sh, which starts the server and names it in SCUP_TEST_SERVER.

#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

#include <cstdlib>

#include "InstallFixture.h"
#include "common/Text.h"
#include "local/AUHistoryLog.h"
#include "local/AULocalData.h"
#include "server/AUHttpConnection.h"

namespace testing_support {
namespace {

constexpr wchar_t kPrinter[] = L"Corvane SC-200";

class InstallEndToEndTest : public InstallFixture {
  protected:
    void SetUp() override {
        InstallFixture::SetUp();
        const char* server = std::getenv("SCUP_TEST_SERVER");
        ASSERT_NE(server, nullptr) << "run through tests/server/run_with_server.sh";
        base_.assign(server, server + strlen(server));
        UseServer(base_);
    }
    void TearDown() override {
        Control(L"/_control/fault?kind=none");
        InstallFixture::TearDown();
    }
    // A control request to the update server (its fault switches); true on 200.
    bool Control(const std::wstring& pathAndQuery) {
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof(parts);
        wchar_t host[64] = {};
        parts.lpszHostName = host;
        parts.dwHostNameLength = 64;
        if (!WinHttpCrackUrl(base_.c_str(), 0, 0, &parts)) return false;
        HINTERNET session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
        HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
        HINTERNET request =
            WinHttpOpenRequest(connection, L"POST", pathAndQuery.c_str(), nullptr, nullptr, nullptr, 0);
        DWORD status = 0;
        DWORD size = sizeof(status);
        const bool ok = request && WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) &&
                        WinHttpReceiveResponse(request, nullptr) &&
                        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                            nullptr, &status, &size, nullptr) &&
                        status == 200;
        for (HINTERNET handle : {request, connection, session})
            if (handle) WinHttpCloseHandle(handle);
        return ok;
    }

    std::wstring base_;
};

TEST_F(InstallEndToEndTest, TheDemoServersEditorAndTemplatesAreFetchedInstalledAndRecorded) {
    RefinedList list;
    for (const SAUExtFirmInfo& entry :
         {Entry(1, L"PP-SCEDIT52", L"ENU_ALL", L"5.0.0.0"), Entry(2, L"PP-CONTACT13", L"ENU_ALL", L"1.3.2"),
          Entry(3, L"PC-TMPLBIZ", L"ENU_ALL", L"0.9"), Entry(4, L"PP-UNKNOWN", L"ENU_ALL", L"1.0")})
        list[kPrinter][EntryKey(entry)] = entry;

    ASSERT_EQ(MakeUpdater()->GetUpdates(kPrinter, list, &view_), ServerResult::Success);
    ASSERT_EQ(list[kPrinter].size(), 2u)
        << "nothing newer of the address book, no such package as PP-UNKNOWN";
    const SAUExtFirmInfo editor = list[kPrinter].at(L"PP-SCEDIT52_ENU_ALL");
    EXPECT_EQ(editor.strFilePath,
              EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL_5.2.1.zip");
    EXPECT_TRUE(FileExists(editor.strFilePath));
    EXPECT_EQ(MakeUpdater()->GetDownloadURL(editor).substr(editor.strURL.size() - 3), L"exe");

    view_.Tick(editor, L"Scribo Editor 5.2.1");
    view_.Tick(list[kPrinter].at(L"PC-TMPLBIZ_ENU_ALL"), L"Business label templates");
    EXPECT_EQ(MakeUpdater()->InstallUpdates(&list, kPrinter, &view_), InstallResult::Done);

    EXPECT_TRUE(messages_->Messages().empty());
    EXPECT_EQ(
        ReadBinaryFile(EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL_5.2.1.exe.args"),
        "ACCEPTED /s /a /silent /eula /usage /qn\n");
    std::wstring version;
    EXPECT_TRUE(CAULocalData::GetInstalledPackageVersion(L"PP-SCEDIT52", version));
    EXPECT_EQ(version, L"5.2.1.0");
    std::vector<std::wstring> titles, versions, dates, printers, languages;
    ReadHistory(L"PCS", titles, versions, dates, printers, languages);
    // Applications install in key order.
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Business label templates", L"Scribo Editor 5.2.1"}));
    EXPECT_EQ(printers, (std::vector<std::wstring>{kPrinter, kPrinter}));
}

TEST_F(InstallEndToEndTest, AnInstallerWhoseBodyIsCutShortIsNeitherKeptNorRun) {
    RefinedList list;
    const SAUExtFirmInfo offered = Entry(1, L"PP-SCEDIT52", L"ENU_ALL", L"5.0.0.0");
    list[kPrinter][EntryKey(offered)] = offered;
    ASSERT_EQ(MakeUpdater()->GetUpdates(kPrinter, list, &view_), ServerResult::Success);
    view_.Tick(list[kPrinter].at(L"PP-SCEDIT52_ENU_ALL"), L"Scribo Editor 5.2.1");
    // The server announces the whole installer and closes the connection after 4000 bytes. The
    // download goes over a connection of its own: on a kept-alive one the HTTP layer waits for the
    // rest far beyond its receive time-out (a fault of that layer, left to it).
    CAUHttpConnection::CloseSharedSession();
    ASSERT_TRUE(
        Control(L"/_control/fault?kind=cut-body&bytes=4000&path=/scupdater/files/software/PP-SCEDIT52"));

    EXPECT_EQ(MakeUpdater()->InstallUpdates(&list, kPrinter, &view_), InstallResult::Failed);

    EXPECT_FALSE(FileExists(EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL_5.2.1.exe"));
    EXPECT_FALSE(
        FileExists(EntryFolder(L"PP-SCEDIT52", L"ENU_ALL") + L"\\PP-SCEDIT52_ENU_ALL_5.2.1.exe.args"))
        << "the installer ran";
    std::wstring version;
    EXPECT_FALSE(CAULocalData::GetInstalledPackageVersion(L"PP-SCEDIT52", version));
    for (const std::wstring& name : FilesBelow(downloadFolder_))
        EXPECT_EQ(name.find(L".tmp"), std::wstring::npos) << scup::ToUtf8(name);
}

}  // namespace
}  // namespace testing_support
