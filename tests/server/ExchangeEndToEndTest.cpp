// The server exchanges against the real update server of the native tools, directly and through
// real proxies, one open and one that asks for Basic credentials. run_with_server.sh starts them
// and hands their addresses over in SCUP_TEST_SERVER, SCUP_TEST_PROXY_OPEN and SCUP_TEST_PROXY_AUTH.
#include <gtest/gtest.h>

#include "../unit/TestSupport.h"
#include "common/AppFiles.h"
#include "common/Profile.h"
#include "local/AUConfigXML.h"
#include "local/AUCrypt.h"
#include "server/AUHttpConnection.h"
#include "server/AUServerData.h"

namespace {

using namespace testing_support;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[512] = {};
    GetEnvironmentVariableW(name, value, 512);
    return value;
}

// The requests the authenticating proxy has logged so far, refused ones included.
size_t RequestsSeenByTheAuthProxy() {
    const std::string log = ReadTextFile(Environment(L"SCUP_TEST_PROXY_AUTH_LOG"));
    size_t count = 0;
    for (size_t at = log.find("Request (file descriptor"); at != std::string::npos;
         at = log.find("Request (file descriptor", at + 1))
        ++count;
    return count;
}

class ExchangeEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = Environment(L"SCUP_TEST_SERVER");
        ASSERT_FALSE(server_.empty()) << "run through tests/server/run_with_server.sh";
        dir_ = MakeScratchFolder(L"exchange");
        CAUXMLParser::SetDataFolderSource([this] { return dir_ + L"\\data\\"; });
        scup::WriteProfileText(L"Settings", L"VersionCheckURL", server_ + L"/scupdater/versioncheck");
        scup::WriteProfileText(L"Settings", L"NoticeURL", server_ + L"/scupdater/notice");
        scup::WriteProfileText(L"Settings", L"FileUpdateURL", server_ + L"/scupdater/fileupdate");
        config_.Initialize();
    }
    void TearDown() override {
        for (const wchar_t* name : {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"})
            scup::WriteProfileText(L"Settings", name, L"");
        CAUHttpConnection::SetCredentialsPrompt({});
        CAUHttpConnection::CloseSharedSession();
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }
    void UseProxy(const std::wstring& proxy, const std::wstring& user = L"",
                  const std::wstring& password = L"") {
        SAUProxyInfo info;
        info.strProxyServer = proxy;
        info.strProxyUser = user;
        info.strProxyPwd = password;
        info.bUseProxy = 1;
        ASSERT_EQ(config_.SetProxyInfo(info), 0);
    }
    // The whole road of one package: version check, file update, download of its description.
    void CheckFetchAndDownload(CAUServerData& data) {
        ComponentList packages;
        ASSERT_EQ(data.DoVersionCheck(packages, L"ALL_ALL", L"Corvane SC-200 LE"), ServerResult::Success);
        EXPECT_FALSE(data.UpdaterVersion().empty());
        ASSERT_EQ(packages.count(L"FP-MAIN_ALL_ALL"), 1u);
        SAUExtFirmInfo main = packages.at(L"FP-MAIN_ALL_ALL");
        EXPECT_EQ(main.strCategory, L"FIRM");

        main.strInstalledVersion = L"1.00";
        SAUFileUpdateInfo info;
        ASSERT_EQ(data.DoFileUpdateAction(main, info), ServerResult::Success);
        EXPECT_EQ(info.nVersionCheck, 0) << "the catalog's 1.05 is newer than 1.00";
        ASSERT_FALSE(info.strPath.empty());

        const std::wstring file = dir_ + L"\\description.zip";
        int last = 0;
        ASSERT_EQ(data.Download(info.strPath, file, [&](int percent) { last = percent; }), ServerResult::Success);
        EXPECT_EQ(ReadTextFile(file).substr(0, 2), "PK");
        EXPECT_EQ(last, 100);
    }

    std::wstring server_;
    std::wstring dir_;
    CAUConfigXML config_;
};

TEST_F(ExchangeEndToEndTest, DirectLineCheckFileUpdateDownloadAndTheUpdatersChecksum) {
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(data.ConnectionKindFound(), CAUServerData::kDirect);
    CheckFetchAndDownload(data);

    // The notice names the newer updater; its checksum is what the file check expects.
    SAUUpgraderInfo upgrader;
    ASSERT_EQ(data.DoNoticeAction(upgrader, {}, L""), ServerResult::Success);
    ASSERT_FALSE(upgrader.strDownloadURL.empty());
    const std::wstring file = dir_ + L"\\updater.zip";
    ASSERT_EQ(data.Download(upgrader.strDownloadURL, file, {}), ServerResult::Success);
    EXPECT_EQ(CAUCrypt::IsFileIntact(file, upgrader.strCheckSum), 0);
    EXPECT_NE(CAUCrypt::IsFileIntact(file, upgrader.strCheckSum + L"x"), 0);

    // A package the catalog holds at the version asked for is not newer.
    SAUExtFirmInfo current;
    current.strName = L"Corvane SC-200";
    current.strId = L"FP-MAIN";
    current.strSpec = L"ALL_ALL";
    current.strInstalledVersion = L"1.05";
    SAUFileUpdateInfo info;
    ASSERT_EQ(data.DoFileUpdateAction(current, info), ServerResult::Success);
    EXPECT_NE(info.nVersionCheck, 0);
}

TEST_F(ExchangeEndToEndTest, ThroughAnOpenProxy) {
    UseProxy(Environment(L"SCUP_TEST_PROXY_OPEN"));
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(data.ConnectionKindFound(), CAUServerData::kConfiguredProxy);
    CheckFetchAndDownload(data);
}

TEST_F(ExchangeEndToEndTest, AProxyAskingForCredentialsGetsThemOnceAndTheyAreKept) {
    UseProxy(Environment(L"SCUP_TEST_PROXY_AUTH"));
    int asked = 0;
    CAUHttpConnection::SetCredentialsPrompt([&](CAUHttpConnection::Credentials& credentials) {
        ++asked;
        credentials.user = L"office";
        credentials.password = L"s3cret";
        credentials.save = 1;
        return asked <= 3;
    });
    {
        CAUServerData data;
        data.SetConfiguration(&config_);
        ASSERT_EQ(data.Initialize(), ServerResult::Success);
        EXPECT_EQ(asked, 1);
        CheckFetchAndDownload(data);
    }
    CAUHttpConnection::CloseSharedSession();

    // The next start takes the saved credentials and asks nobody.
    CAUConfigXML nextStart;
    nextStart.Initialize();
    SAUProxyInfo saved;
    ASSERT_EQ(nextStart.GetProxyInfo(saved), 0);
    EXPECT_EQ(saved.strProxyUser, L"office");
    EXPECT_EQ(saved.strProxyPwd, L"s3cret");
    asked = 0;
    CAUServerData data;
    data.SetConfiguration(&nextStart);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(asked, 0);
    // Known credentials go with each request: the proxy refuses none of the three, so none can
    // be cut off by a refusal that closes the connection while the request's body is on its way.
    const size_t before = RequestsSeenByTheAuthProxy();
    ASSERT_GT(before, 0u);
    CheckFetchAndDownload(data);
    EXPECT_EQ(RequestsSeenByTheAuthProxy() - before, 3u) << "version check, file update, download";
}

TEST_F(ExchangeEndToEndTest, AWrongPasswordIsRefusedAndAskedForAgainThenTheCredentialsWork) {
    UseProxy(Environment(L"SCUP_TEST_PROXY_AUTH"));
    int asked = 0;
    CAUHttpConnection::SetCredentialsPrompt([&](CAUHttpConnection::Credentials& credentials) {
        ++asked;
        credentials.user = L"office";
        credentials.password = asked == 1 ? L"wrong" : L"s3cret";
        return asked <= 3;
    });
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(asked, 2) << "the proxy's refusal of the wrong password asks once more";
    CheckFetchAndDownload(data);
    EXPECT_EQ(asked, 2);
}

TEST_F(ExchangeEndToEndTest, CancellingTheCredentialsEndsTheProbeWith1482) {
    UseProxy(Environment(L"SCUP_TEST_PROXY_AUTH"));
    CAUHttpConnection::SetCredentialsPrompt([](CAUHttpConnection::Credentials&) { return false; });
    MessageBoxCapture boxes;
    CAUServerData data;
    data.SetConfiguration(&config_);
    EXPECT_EQ(data.Initialize(), ServerResult::Failed);
    EXPECT_EQ(boxes.Messages().size(), 1u);
}

}  // namespace
