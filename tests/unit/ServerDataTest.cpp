#include <gtest/gtest.h>

#include <atomic>

#include "ScriptedHttpServer.h"
#include "TestSupport.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "local/AUConfigXML.h"
#include "server/AUHttpConnection.h"
#include "server/AUServerData.h"
#include "server/RetrySchedule.h"

namespace {

using namespace testing_support;

const char* const kVersionAnswer = R"(<?xml version="1.0"?>
<ResponseInfo>
  <FirmUpdateToolInfo><Version>2.1.0</Version></FirmUpdateToolInfo>
  <ModelInfo>
    <Model><Name>SC-200</Name><Spec>ENU_USA</Spec>
      <FirmInfo>
        <Firm><Category>PCS</Category><Id>PP-SCEDIT52</Id></Firm>
        <Firm><Category>FIRM</Category><Id>FP-SC200MAIN</Id></Firm>
      </FirmInfo>
    </Model>
  </ModelInfo>
</ResponseInfo>)";

HttpAnswer Answer(int status, std::string body = {}) {
    HttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    if (status == 407) answer.headers = {{"Proxy-Authenticate", "Basic realm=\"office\""}};
    return answer;
}

// Plays the update server: the probe's empty request, the version check and the file update.
HttpAnswer UpdateServer(const HttpRequestSeen& request) {
    if (request.method == "GET" && request.target.find("/files/") != std::string::npos)
        return Answer(200, "PK-package-bytes");
    if (request.body.empty()) return Answer(200);
    if (request.body.find("<RequestInfo>") != std::string::npos &&
        request.target.find("VersionCheck") != std::string::npos)
        return Answer(200, kVersionAnswer);
    if (request.target.find("FileUpdate") != std::string::npos)
        return Answer(200, "<ResponseInfo><Message>no such package</Message></ResponseInfo>");
    return Answer(400);
}

// Writes the browser's manual proxy setting as the browser stores it for the current user.
void SetBrowserProxy(const std::string& proxy) {
    std::vector<BYTE> blob = {0x46, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    auto appendText = [&](const std::string& text) {
        DWORD length = static_cast<DWORD>(text.size());
        blob.insert(blob.end(), reinterpret_cast<BYTE*>(&length), reinterpret_cast<BYTE*>(&length) + 4);
        blob.insert(blob.end(), text.begin(), text.end());
    };
    appendText(proxy);
    appendText("");
    appendText("");
    blob.resize(blob.size() + 32, 0);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections", 0,
                    nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    scup::UniqueRegKey owner(key);
    RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(),
                   static_cast<DWORD>(blob.size()));
}

void ClearBrowserProxy() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                       L"DefaultConnectionSettings");
}

class ServerDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"serverdata");
        dataFolder_ = dir_ + L"\\data\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
        config_.Initialize();
        ClearBrowserProxy();
    }
    void TearDown() override {
        for (const wchar_t* name : {L"VersionCheckURL", L"NoticeURL", L"FileUpdateURL"})
            scup::WriteProfileText(L"Settings", name, L"");
        CAUHttpConnection::SetCredentialsPrompt({});
        CAUHttpConnection::CloseSharedSession();
        ClearBrowserProxy();
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }
    void PointAt(const std::wstring& base) {
        scup::WriteProfileText(L"Settings", L"VersionCheckURL", base + L"/ScUpdater/VersionCheck.aspx");
        scup::WriteProfileText(L"Settings", L"NoticeURL", base + L"/ScUpdater/Notice.aspx");
        scup::WriteProfileText(L"Settings", L"FileUpdateURL", base + L"/ScUpdater/FileUpdate.aspx");
    }
    void UseConfiguredProxy(unsigned short port, const std::wstring& user = L"",
                            const std::wstring& password = L"") {
        SAUProxyInfo proxy;
        proxy.strProxyServer = L"127.0.0.1:" + std::to_wstring(port);
        proxy.strProxyUser = user;
        proxy.strProxyPwd = password;
        proxy.bUseProxy = 1;
        ASSERT_EQ(config_.SetProxyInfo(proxy), 0);
    }

    std::wstring dir_;
    std::wstring dataFolder_;
    CAUConfigXML config_;
};

TEST_F(ServerDataTest, WithoutAProxyTheDirectLineIsFoundAndTheVersionCheckIsRead) {
    ScriptedHttpServer server(UpdateServer);
    PointAt(server.Url(L""));
    CAUServerData data;
    data.SetConfiguration(&config_);
    TraceCapture trace;
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(data.ConnectionKindFound(), CAUServerData::kDirect);
    EXPECT_TRUE(trace.Contains(L"Direct Connection to server possible."));
    EXPECT_TRUE(data.IsConnected());

    ComponentList packages;
    ASSERT_EQ(data.DoVersionCheck(packages, L"ENU_USA", L"Corvane SC-200 LE"), ServerResult::Success);
    EXPECT_EQ(data.UpdaterVersion(), L"2.1.0");
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages.at(L"FP-SC200MAIN_ENU_USA").strCategory, L"FIRM");
    std::string sent = server.Requests().back().body;
    EXPECT_EQ(sent.rfind("<?xml version='1.0' ?>", 0), 0u);
    EXPECT_NE(sent.find("<Name>Corvane SC-200</Name>"), std::string::npos)
        << "the \" LE\" ending is not sent: " << sent;

    // A second check reuses the connection to the same host.
    ASSERT_EQ(data.DoVersionCheck(packages, L"ENU_USA", L" LE"), ServerResult::Success);
    EXPECT_NE(server.Requests().back().body.find("<Name> LE</Name>"), std::string::npos);
    int connects = 0;
    for (const std::wstring& line : trace.Lines())
        if (line.rfind(L"Connecting to Server : 127.0.0.2", 0) == 0) ++connects;
    EXPECT_EQ(connects, 2) << "one for the probe, one for the version check connection";
}

// A server that answers with nothing to use is told apart from one that cannot be reached, and a
// web page where its XML was expected is a network's sign-in page. A busy server is asked again
// (here after short pauses) before it counts as unusable.
TEST_F(ServerDataTest, AnAnswerThatIsNoDocumentOrAnErrorStatusIsUnusableNotUnreachable) {
    struct QuickRetries {
        QuickRetries() {
            CRetrySchedule::Rule quick;
            quick.firstPauseMs = 20;
            quick.capMs = 100;
            CRetrySchedule::SetProgramRule(quick);
        }
        ~QuickRetries() { CRetrySchedule::SetProgramRule({}); }
    } quick;
    enum class Fault { None, Html, Status500, Status404 };
    std::atomic<Fault> fault{Fault::None};
    ScriptedHttpServer server([&](const HttpRequestSeen& request) {
        HttpAnswer answer;
        switch (fault.load()) {
            case Fault::Html:
                answer.body = "<html><body>Service temporarily unavailable</body></html>";
                return answer;
            case Fault::Status500:
                answer.status = 500;
                return answer;
            case Fault::Status404:
                answer.status = 404;
                return answer;
            default:
                return UpdateServer(request);
        }
    });
    PointAt(server.Url(L""));
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    ComponentList packages;
    for (Fault kind : {Fault::Html, Fault::Status500, Fault::Status404}) {
        fault = kind;
        EXPECT_EQ(data.DoVersionCheck(packages, L"ENU_USA", L"Corvane SC-200"),
                  kind == Fault::Html ? ServerResult::SignInRequired : ServerResult::AnswerUnusable)
            << static_cast<int>(kind);
        EXPECT_TRUE(packages.empty());
    }
}

// Two servers on one host, on two ports: each download goes to the port its address names, even
// when a connection to the same host is already open.
TEST_F(ServerDataTest, DownloadsGoToThePortTheirAddressNames) {
    ScriptedHttpServer server(UpdateServer);
    auto filesOn = [](const char* content) {
        return [content](const HttpRequestSeen&) {
            HttpAnswer answer;
            answer.body = content;
            return answer;
        };
    };
    ScriptedHttpServer first(filesOn("from the first port"));
    ScriptedHttpServer second(filesOn("from the second port"));
    ASSERT_NE(first.Port(), second.Port());
    PointAt(server.Url(L""));
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);

    const std::wstring file = dir_ + L"\\package.zip";
    ASSERT_EQ(data.Download(first.Url(L"/files/package.zip"), file, {}), ServerResult::Success);
    EXPECT_EQ(ReadTextFile(file), "from the first port");
    ASSERT_EQ(data.Download(second.Url(L"/files/package.zip"), file, {}), ServerResult::Success);
    EXPECT_EQ(ReadTextFile(file), "from the second port");
    EXPECT_EQ(first.Requests().size(), 1u);
    EXPECT_EQ(second.Requests().size(), 1u);
}

TEST_F(ServerDataTest, AFileUpdateAnswerWithoutFileInformationGives6AndFilesDownload) {
    ScriptedHttpServer server(UpdateServer);
    PointAt(server.Url(L""));
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    SAUExtFirmInfo package;
    package.strId = L"PP-SCEDIT52";
    package.strSpec = L"ENU_USA";
    SAUFileUpdateInfo info;
    EXPECT_EQ(data.DoFileUpdateAction(package, info), ServerResult::NoFileInformation);

    const std::wstring file = dir_ + L"\\package.zip";
    int last = 0;
    ASSERT_EQ(data.Download(server.Url(L"/files/package.zip"), file, [&](int percent) { last = percent; }),
              ServerResult::Success);
    EXPECT_EQ(ReadTextFile(file), "PK-package-bytes");
    EXPECT_EQ(last, 100);
}

TEST_F(ServerDataTest, AConfiguredProxyThatIsUnreachableIsTheOnlyWayTried) {
    ScriptedHttpServer server(UpdateServer);
    PointAt(server.Url(L""));
    // A port nobody listens on.
    UseConfiguredProxy(9);
    CAUServerData data;
    data.SetConfiguration(&config_);
    TraceCapture trace;
    EXPECT_EQ(data.Initialize(), ServerResult::Failed);
    EXPECT_TRUE(trace.Contains(L"Unable to connect to server."));
    EXPECT_FALSE(trace.Contains(L"Enter : CAUHttpConnection::CreateBrowserSession()"));
    EXPECT_FALSE(trace.Contains(L"Enter : CAUHttpConnection::CreateDirectSession()"));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(CAUHttpConnection::HasSharedSession());
}

// IT's policy names the proxy: every request goes through it, whatever the user configured, and
// the user's credentials for their own proxy do not go to it.
TEST_F(ServerDataTest, ThePolicysProxyIsTheOneUsedWhateverTheUserConfigured) {
    ScriptedHttpServer proxy(UpdateServer, "127.0.0.1");
    PointAt(L"http://update.corvane.example");
    UseConfiguredProxy(9, L"erin", L"own-proxy");
    HKEY policy = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, scup::PolicyKeyPath().c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &policy, nullptr),
              ERROR_SUCCESS);
    const std::wstring address = L"127.0.0.1:" + std::to_wstring(proxy.Port());
    RegSetValueExW(policy, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(address.c_str()),
                   static_cast<DWORD>((address.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(policy);
    CAUServerData data;
    data.SetConfiguration(&config_);
    const ServerResult result = data.Initialize();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, scup::PolicyKeyPath().c_str());
    ASSERT_EQ(result, ServerResult::Success);
    EXPECT_EQ(data.ConnectionKindFound(), CAUServerData::kConfiguredProxy);
    const std::vector<HttpRequestSeen> requests = proxy.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].target, "http://update.corvane.example:80/ScUpdater/VersionCheck.aspx");
    for (const HttpRequestSeen& request : requests) EXPECT_EQ(request.Header("proxy-authorization"), "");
}

TEST_F(ServerDataTest, CredentialsTheUserAsksToSaveAreStoredAfterTheProbe) {
    ScriptedHttpServer proxy(
        [](const HttpRequestSeen& request) {
            // "dave:s3cret"
            if (request.Header("proxy-authorization") != "Basic ZGF2ZTpzM2NyZXQ=") return Answer(407);
            return UpdateServer(request);
        },
        "127.0.0.1");
    PointAt(L"http://update.corvane.example");
    UseConfiguredProxy(proxy.Port());
    CAUHttpConnection::SetCredentialsPrompt([](CAUHttpConnection::Credentials& credentials) {
        credentials.user = L"dave";
        credentials.password = L"s3cret";
        credentials.save = 1;
        return true;
    });
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(data.ConnectionKindFound(), CAUServerData::kConfiguredProxy);

    CAUConfigXML reread;
    reread.Initialize();
    SAUProxyInfo stored;
    ASSERT_EQ(reread.GetProxyInfo(stored), 0);
    EXPECT_EQ(stored.strProxyUser, L"dave");
    EXPECT_EQ(stored.strProxyPwd, L"s3cret");

    // The exchanges go through the proxy with those credentials without asking again.
    CAUHttpConnection::SetCredentialsPrompt([](CAUHttpConnection::Credentials&) {
        ADD_FAILURE() << "asked again";
        return false;
    });
    ComponentList packages;
    EXPECT_EQ(data.DoVersionCheck(packages, L"ENU_USA", L"Corvane SC-200"), ServerResult::Success);
    EXPECT_EQ(packages.size(), 2u);
}

TEST_F(ServerDataTest, RefusingTheBrowserProxysCredentialsEndsTheProbeWithoutADirectAttempt) {
    ScriptedHttpServer proxy([](const HttpRequestSeen&) { return Answer(407); }, "127.0.0.1");
    ScriptedHttpServer server(UpdateServer);
    PointAt(server.Url(L""));
    SetBrowserProxy("127.0.0.1:" + std::to_string(proxy.Port()));
    CAUHttpConnection::SetCredentialsPrompt([](CAUHttpConnection::Credentials&) { return false; });
    CAUServerData data;
    data.SetConfiguration(&config_);
    TraceCapture trace;
    MessageBoxCapture boxes;
    EXPECT_EQ(data.Initialize(), ServerResult::Failed);
    EXPECT_TRUE(trace.Contains(L"Enter : CAUHttpConnection::CreateBrowserSession()"));
    EXPECT_FALSE(trace.Contains(L"Enter : CAUHttpConnection::CreateDirectSession()"));
    EXPECT_EQ(boxes.Messages().size(), 1u) << "the refusal message";
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ServerDataTest, ResetForgetsTheWayAndTheNextInitialisationProbesAgain) {
    ScriptedHttpServer server(UpdateServer);
    PointAt(server.Url(L""));
    CAUServerData data;
    data.SetConfiguration(&config_);
    ASSERT_EQ(data.Initialize(), ServerResult::Success);
    size_t probes = server.Requests().size();
    EXPECT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_EQ(server.Requests().size(), probes) << "initialised once";

    data.ResetServer();
    EXPECT_FALSE(data.IsConnected());
    EXPECT_FALSE(CAUHttpConnection::HasSharedSession());
    EXPECT_EQ(data.Initialize(), ServerResult::Failed) << "the configuration is handed again after a reset";
    data.SetConfiguration(&config_);
    EXPECT_EQ(data.Initialize(), ServerResult::Success);
    EXPECT_GT(server.Requests().size(), probes);
}

}  // namespace
