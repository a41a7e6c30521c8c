// The fault switches, set through the control endpoint as a test would set them at run time.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "RawHttp.h"
#include "RequestDocuments.h"
#include "TestCatalog.h"
#include "TestServer.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr char kVersionCheck[] = "/scupdater/versioncheck";
constexpr char kUpdaterFile[] = "/scupdater/files/updater/ScUpdater-1.2.0.zip";

class Fault : public ::testing::Test {
  protected:
    void SetUp() override {
        catalog_.WriteStandard();
        catalog_.WriteFile("big.pdz", std::string(1 << 20, 'b'));
        server_ = std::make_unique<TestServer>(catalog_.Dir());
    }

    RawResponse RawPost(const std::string& path, const std::string& body,
                        milliseconds timeout = milliseconds(5000)) {
        return RawExchange(server_->Host(), server_->Port(),
                           "POST " + path + " HTTP/1.1\r\nHost: " + server_->Host() +
                               "\r\nContent-Type: text/xml\r\nConnection: close\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body,
                           timeout);
    }
    RawResponse RawGet(const std::string& path, milliseconds timeout = milliseconds(5000)) {
        return RawExchange(
            server_->Host(), server_->Port(),
            "GET " + path + " HTTP/1.1\r\nHost: " + server_->Host() + "\r\nConnection: close\r\n\r\n",
            timeout);
    }
    bool LogShows(const std::string& text) const { return server_->LogShows(text); }

    TestCatalog catalog_;
    std::unique_ptr<TestServer> server_;
};

TEST_F(Fault, DelayHoldsBackTheAnswerButDoesNotChangeIt) {
    server_->Control("kind=delay&ms=400");
    const auto start = Clock::now();
    const auto result = server_->Post(kVersionCheck, VersionCheckRequest("Corvane SC-200", "ALL_ALL"));
    const auto elapsed = Clock::now() - start;
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("FP-MAIN"), std::string::npos);
    EXPECT_GE(elapsed, milliseconds(400));
    EXPECT_TRUE(LogShows("POST /scupdater/versioncheck 200 delayed 400 ms; Name=\"Corvane SC-200\""));
}

TEST_F(Fault, StatusAnswersEveryExchangeAndDownloadWithTheCode) {
    server_->Control("kind=status&code=503");
    EXPECT_EQ(server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"))->status, 503);
    EXPECT_EQ(server_->Post("/scupdater/notice", NoticeRequest("W6_1", "ENU"))->status, 503);
    EXPECT_EQ(server_->Client().Get(kUpdaterFile)->status, 503);

    // A proxy's refusal carries the challenge that makes a client ask for credentials.
    server_->Control("kind=status&code=407");
    const auto refused = server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"));
    EXPECT_EQ(refused->status, 407);
    EXPECT_EQ(refused->get_header_value("Proxy-Authenticate"), "Basic realm=\"updateserver\"");

    server_->Control("kind=status&code=0");
    EXPECT_EQ(server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"))->status, 200);
}

TEST_F(Fault, SwitchesCanBeLimitedToAPathPrefixAndANumberOfRequests) {
    server_->Control("kind=status&code=500&path=/scupdater/files/&times=2");
    EXPECT_EQ(server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"))->status, 200);
    EXPECT_EQ(server_->Client().Get(kUpdaterFile)->status, 500);
    EXPECT_EQ(server_->Client().Get(kUpdaterFile)->status, 500);
    EXPECT_EQ(server_->Client().Get(kUpdaterFile)->status, 200);
    const auto state = server_->Client().Get("/_control/fault");
    EXPECT_EQ(state->body, "no faults\n");
}

TEST_F(Fault, CutBodyAnnouncesTheFullLengthSendsLessAndCloses) {
    const std::string request = VersionCheckRequest("Corvane SC-200", "ALL_ALL");
    const RawResponse whole = RawPost(kVersionCheck, request);
    ASSERT_GT(whole.body.size(), 100u);

    server_->Control("kind=cut-body&bytes=100");
    const RawResponse cut = RawPost(kVersionCheck, request);
    EXPECT_FALSE(cut.timedOut);
    EXPECT_EQ(cut.headers.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(cut.contentLength, static_cast<long long>(whole.body.size()));
    EXPECT_EQ(cut.body, whole.body.substr(0, 100));

    const RawResponse file = RawGet("/scupdater/files/big.pdz");
    EXPECT_EQ(file.contentLength, 1 << 20);
    EXPECT_EQ(file.body.size(), 100u);
    // A client library sees the short body as a failed read.
    const auto result = server_->Client().Get("/scupdater/files/big.pdz");
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error(), httplib::Error::Read);
    EXPECT_TRUE(LogShows(
        "GET /scupdater/files/big.pdz 200 1048576 bytes; fault cut body after 100 of 1048576 bytes"));

    // A cut beyond the body's end leaves the body whole.
    server_->Control("kind=cut-body&bytes=2000000");
    EXPECT_EQ(RawGet("/scupdater/files/big.pdz").body.size(), 1u << 20);
}

TEST_F(Fault, HangSendsTheHeadersAndThenNothingUntilTheClientGivesUp) {
    server_->Control("kind=hang");
    const RawResponse hung = RawGet("/scupdater/files/big.pdz", milliseconds(600));
    EXPECT_TRUE(hung.timedOut);
    EXPECT_EQ(hung.headers.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(hung.contentLength, 1 << 20);
    EXPECT_TRUE(hung.body.empty());
    EXPECT_TRUE(LogShows("fault hang after 0 bytes, client gave up after"));

    // With a client time-out the exchange fails instead of waiting for ever.
    auto client = server_->Client();
    client.set_read_timeout(1);
    const auto start = Clock::now();
    const auto result = client.Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"), "text/xml");
    EXPECT_FALSE(result);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST_F(Fault, CutBodyWithHangStallsInTheMiddleOfTheBody) {
    server_->Control("kind=cut-body&bytes=4096");
    server_->Control("kind=hang");
    const RawResponse stalled = RawGet("/scupdater/files/big.pdz", milliseconds(600));
    EXPECT_TRUE(stalled.timedOut);
    EXPECT_EQ(stalled.body, std::string(4096, 'b'));
}

TEST_F(Fault, AHangingAnswerHoldsUpNeitherOtherClientsNorTheServersStop) {
    server_->Control("kind=hang&path=/scupdater/files/big.pdz");
    auto hung = std::async(std::launch::async,
                           [this] { return RawGet("/scupdater/files/big.pdz", milliseconds(30000)); });
    // Wait until the server has taken the download in hand.
    for (int i = 0;
         i < 200 && server_->Client().Get("/_control/stats")->body.find("files 1") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(milliseconds(20));
    }
    ASSERT_NE(server_->Client().Get("/_control/stats")->body.find("files 1"), std::string::npos);
    EXPECT_EQ(server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"))->status, 200);

    const auto start = Clock::now();
    server_->Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    const RawResponse ended = hung.get();
    // The server closed the connection: no time-out on the client's side.
    EXPECT_FALSE(ended.timedOut);
    EXPECT_TRUE(ended.body.empty());
    EXPECT_NE(server_->LogText().find("ended by server stop"), std::string::npos);
}

TEST_F(Fault, DropClosesTheConnectionWithoutAnAnswerAndEveryHitsOnlyTheNthRequest) {
    server_->Control("kind=drop&path=/scupdater/versioncheck&times=2");
    const std::string request = VersionCheckRequest("Corvane SC-200", "ALL_ALL");
    const RawResponse dropped = RawPost(kVersionCheck, request);
    EXPECT_TRUE(dropped.connected);
    EXPECT_FALSE(dropped.timedOut);
    EXPECT_TRUE(dropped.headers.empty());
    EXPECT_TRUE(RawPost(kVersionCheck, request).headers.empty());
    EXPECT_EQ(RawPost(kVersionCheck, request).headers.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_TRUE(LogShows("fault drop: closed without an answer"));

    // Every third request is dropped; those in between are answered and do not count.
    server_->Control("kind=drop&every=3");
    std::string seen;
    for (int i = 0; i < 6; ++i) seen += RawPost(kVersionCheck, request).headers.empty() ? 'x' : '.';
    EXPECT_EQ(seen, "..x..x");
    EXPECT_EQ(server_->Client().Get("/_control/fault")->body, "drop every=3\n");
}

TEST_F(Fault, AStatusMayCarryARetryAfter) {
    server_->Control("kind=status&code=503&retry-after=7&times=1");
    const auto busy = server_->Client().Get(kUpdaterFile);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(busy->get_header_value("Retry-After"), "7");
    const auto served = server_->Client().Get(kUpdaterFile);
    EXPECT_EQ(served->status, 200);
    EXPECT_FALSE(served->has_header("Retry-After"));
}

TEST_F(Fault, APortalAnswersWithItsSignInPageOrARedirectToItsOwnHost) {
    server_->Control("kind=portal");
    const auto page = server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html");
    EXPECT_EQ(page->body.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(server_->Client().Get(kUpdaterFile)->get_header_value("Content-Type"), "text/html");

    server_->Control("kind=portal&as=redirect");
    const auto moved = server_->Client().Get(kUpdaterFile);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->status, 302);
    EXPECT_EQ(moved->get_header_value("Location"), "http://portal.invalid/login?from=updateserver");
    EXPECT_EQ(server_->Client().Post("/_control/fault?kind=portal&as=wall", "", "text/plain")->status, 400);
}

TEST_F(Fault, TheControlEndpointRefusesWhatItDoesNotKnowAndReportsState) {
    auto client = server_->Client();
    EXPECT_EQ(client.Post("/_control/fault?kind=explode", "", "text/plain")->status, 400);
    EXPECT_EQ(client.Post("/_control/fault?kind=delay", "", "text/plain")->status, 400);
    EXPECT_EQ(client.Post("/_control/fault?kind=status&code=42", "", "text/plain")->status, 400);
    EXPECT_EQ(client.Post("/_control/fault?kind=delay&ms=5&times=0", "", "text/plain")->status, 400);
    EXPECT_EQ(client.Get("/_control/fault")->body, "no faults\n");
    server_->Control("kind=delay&ms=5");
    server_->Control("kind=cut-body&bytes=7&path=/x");
    EXPECT_EQ(client.Get("/_control/fault")->body, "delay=5ms cut-body=7 path=/x\n");
    server_->Control("kind=none");
    EXPECT_EQ(client.Get("/_control/fault")->body, "no faults\n");

    server_->Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"));
    server_->Post(kVersionCheck, "");
    client.Get(kUpdaterFile);
    EXPECT_EQ(client.Get("/_control/stats")->body,
              "versioncheck 2\nnotice 0\nfileupdate 0\nfiles 1\nunknown 0\nkept 0\n");
}

TEST(FaultSwitchedOff, NoControlLeavesTheEndpointAwayAndTheSwitchesAsStarted) {
    TestCatalog catalog;
    catalog.WriteStandard();
    updateserver::ServerOptions options;
    options.control = false;
    options.faults.status = 502;
    options.faults.pathPrefix = "/scupdater/notice";
    TestServer server(catalog.Dir(), "127.0.0.1", options);
    EXPECT_EQ(server.Client().Post("/_control/fault?kind=none", "", "text/plain")->status, 404);
    EXPECT_EQ(server.Post("/scupdater/notice", NoticeRequest("W6_1", "ENU"))->status, 502);
    EXPECT_EQ(server.Post(kVersionCheck, VersionCheckRequest("SC-200", "ALL_ALL"))->status, 200);
}

}  // namespace
