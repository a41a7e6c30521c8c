// The updateserver program as a script runs it: command line, the "listening on" line, signals.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

#include "RequestDocuments.h"
#include "ServerProcess.h"
#include "TestCatalog.h"

namespace {

class Process : public ::testing::Test {
  protected:
    void SetUp() override {
        catalog_.WriteStandard();
        logFile_ = (catalog_.Dir() / "requests.log").string();
    }
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"--catalog", catalog_.Dir().string(), "--port", "0", "--log",
                                         logFile_};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::string Log() const { return ReadWholeFile(logFile_); }

    TestCatalog catalog_;
    std::string logFile_;
};

TEST_F(Process, PrintsWhereItListensServesAndStopsCleanlyOnSigterm) {
    ServerProcess server(Arguments({"--bind", "127.0.0.2"}));
    const int port = server.WaitUntilListening();
    ASSERT_GT(port, 0) << server.Errors();
    EXPECT_EQ(server.Output(), "listening on 127.0.0.2:" + std::to_string(port) + "\n");

    httplib::Client client("127.0.0.2", port);
    const auto result =
        client.Post("/scupdater/versioncheck", VersionCheckRequest("Corvane SC-200", "ALL_ALL"), "text/xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);

    EXPECT_EQ(server.Signal(SIGTERM), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("serving " + catalog_.Dir().string() + " on 127.0.0.2:" + std::to_string(port)),
              std::string::npos);
    EXPECT_NE(log.find("POST /scupdater/versioncheck 200 Name=\"Corvane SC-200\""), std::string::npos);
    EXPECT_NE(log.find("stopping on SIGTERM"), std::string::npos);
    EXPECT_NE(log.find("stopped"), std::string::npos);
}

TEST_F(Process, StopsOnSigintEvenWhileAnAnswerHangs) {
    ServerProcess server(Arguments({"--hang", "--fault-path", "/scupdater/files/"}));
    const int port = server.WaitUntilListening();
    ASSERT_GT(port, 0) << server.Errors();
    httplib::Client client("127.0.0.1", port);
    std::thread hanging([&client] { client.Get("/scupdater/files/updater/ScUpdater-1.2.0.zip"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(server.Signal(SIGINT), 0);
    hanging.join();
    EXPECT_NE(Log().find("stopping on SIGINT"), std::string::npos);
    EXPECT_NE(Log().find("ended by server stop"), std::string::npos);
}

TEST_F(Process, FaultSwitchesFromTheCommandLineApplyFromTheStart) {
    ServerProcess server(Arguments({"--status", "503", "--fault-times", "1", "--delay", "50"}));
    const int port = server.WaitUntilListening();
    ASSERT_GT(port, 0) << server.Errors();
    httplib::Client client("127.0.0.1", port);
    EXPECT_EQ(client.Post("/scupdater/notice", NoticeRequest("W6_1", "ENU"), "text/xml")->status, 503);
    EXPECT_EQ(client.Post("/scupdater/notice", NoticeRequest("W6_1", "ENU"), "text/xml")->status, 200);
    EXPECT_EQ(server.Signal(SIGTERM), 0);
    EXPECT_NE(Log().find("503 delayed 50 ms; fault status 503"), std::string::npos) << Log();
}

TEST_F(Process, SighupReloadsTheCatalog) {
    ServerProcess server(Arguments({}));
    const int port = server.WaitUntilListening();
    ASSERT_GT(port, 0) << server.Errors();
    std::string xml = TestCatalog::StandardXml();
    xml.replace(xml.find("display=\"1.2\""), 13, "display=\"1.2 SP1\"");
    catalog_.WriteCatalog(xml);
    kill(server.Pid(), SIGHUP);
    httplib::Client client("127.0.0.1", port);
    std::string body;
    for (int i = 0; i < 100 && body.find("1.2 SP1") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        body = client.Post("/scupdater/notice", NoticeRequest("W6_1", "ENU"), "text/xml")->body;
    }
    EXPECT_NE(body.find("<DisplayVersion>1.2 SP1</DisplayVersion>"), std::string::npos) << body;
    EXPECT_EQ(server.Signal(SIGTERM), 0);
    EXPECT_NE(Log().find("catalog reloaded"), std::string::npos);
}

TEST_F(Process, ABadCommandLineOrCatalogEndsWithAMessage) {
    {
        ServerProcess server({"--catalog", catalog_.Dir().string(), "--port", "seventy"});
        EXPECT_EQ(server.Wait(), 2);
        EXPECT_NE(server.Errors().find("--port: \"seventy\" is not a number from 0 to 65535"),
                  std::string::npos);
    }
    {
        ServerProcess server({"--port", "0"});
        EXPECT_EQ(server.Wait(), 2);
        EXPECT_NE(server.Errors().find("--catalog DIR is required"), std::string::npos);
    }
    {
        ServerProcess server({"--catalog", (catalog_.Dir() / "nowhere").string(), "--port", "0"});
        EXPECT_EQ(server.Wait(), 1);
        EXPECT_NE(server.Errors().find("cannot read"), std::string::npos);
    }
    {
        ServerProcess first(Arguments({}));
        const int port = first.WaitUntilListening();
        ASSERT_GT(port, 0);
        ServerProcess second({"--catalog", catalog_.Dir().string(), "--port", std::to_string(port)});
        EXPECT_EQ(second.Wait(), 1);
        EXPECT_NE(second.Errors().find("cannot listen on 127.0.0.1:" + std::to_string(port)),
                  std::string::npos);
    }
    {
        ServerProcess server({"--help"});
        EXPECT_EQ(server.Wait(), 0);
    }
}

TEST_F(Process, AFileOfHundredsOfMegabytesIsStreamedWithoutBeingHeldInMemory) {
    constexpr long long kSize = 512ll << 20;
    {
        // A sparse file: large on the wire, nothing on the disk.
        std::ofstream(catalog_.Dir() / "huge.pdz");
        ASSERT_EQ(truncate((catalog_.Dir() / "huge.pdz").c_str(), kSize), 0);
    }
    ServerProcess server(Arguments({}));
    const int port = server.WaitUntilListening();
    ASSERT_GT(port, 0) << server.Errors();
    const long before = server.PeakMemoryKb();
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    long long received = 0;
    const auto result = client.Get("/scupdater/files/huge.pdz", [&](const char*, std::size_t n) {
        received += static_cast<long long>(n);
        return true;
    });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->get_header_value("Content-Length"), std::to_string(kSize));
    EXPECT_EQ(received, kSize);
    const long after = server.PeakMemoryKb();
    EXPECT_LT(after - before, 32 * 1024)
        << "peak memory grew from " << before << " KiB to " << after << " KiB";
    EXPECT_EQ(server.Signal(SIGTERM), 0);
}

}  // namespace
