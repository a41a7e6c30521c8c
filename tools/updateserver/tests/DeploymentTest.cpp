// The update service as deployed: nginx in front of updateserver instances, under the load of many PCs
// checking at once (tools/loadgen), while an instance dies, the catalog is reloaded, or a PC sends
// its request slowly; and the signed statements beside the packages, fetched over https.

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "CheckExpectations.h"
#include "FileDescriptor.h"
#include "LoadRun.h"
#include "NginxProcess.h"
#include "ServerProcess.h"
#include "TestCatalog.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr auto kStateTimeout = milliseconds(60000);

// Release 1 or 2 of a small catalog: the two differ in the updater version, in every package version
// and in every file name, so files of both can lie in one folder and any answer tells its release.
std::string CatalogXml(int release) {
    const std::string r = std::to_string(release);
    std::string xml = "<Catalog><Updater version=\"1." + r + ".0\" display=\"1." + r +
                      "\" file=\"updater/ScUpdater-1." + r + ".0.zip\"/>";
    const auto package = [&r](const std::string& folder, const std::string& id, const std::string& spec,
                              const std::string& category, const std::string& type) {
        const std::string stem = folder + "/" + id + "_" + spec + "_r" + r;
        return "<Package id=\"" + id + "\" category=\"" + category + "\" spec=\"" + spec + "\" version=\"" +
               r + ".0" + r + "\" description=\"" + stem + ".zip\" package=\"" + stem + "." + type + "\"/>";
    };
    for (const std::string model : {"SC-200", "SC-300"}) {
        xml += "<Model name=\"" + model + "\">";
        for (const std::string id : {"FP-MAIN", "FP-FONTS"})
            for (const std::string spec : {"ENU_ALL", "JPN_ALL"})
                xml += package(model, model + "-" + id, spec, "FIRM", "pdz");
        xml += "</Model>";
    }
    xml += "<Software>";
    for (const std::string spec : {"ENU_ALL", "JPN_ALL"})
        xml += package("software", "PP-SCEDIT52", spec, "PCS", "exe");
    return xml + "</Software></Catalog>";
}

// The files of a release; catalog.xml is written by the caller.
void WriteReleaseFiles(const TestCatalog& catalog, int release) {
    const std::string r = std::to_string(release);
    catalog.WriteFile("updater/ScUpdater-1." + r + ".0.zip", "updater " + r);
    const auto write = [&](const std::string& stem, const std::string& type) {
        catalog.WriteFile(stem + ".zip", "description of " + stem);
        catalog.WriteFile(stem + "." + type, std::string(20000, static_cast<char>('a' + release)));
    };
    for (const std::string model : {"SC-200", "SC-300"})
        for (const std::string id : {"FP-MAIN", "FP-FONTS"})
            for (const std::string spec : {"ENU_ALL", "JPN_ALL"})
                write(model + "/" + model + "-" + id + "_" + spec + "_r" + r, "pdz");
    for (const std::string spec : {"ENU_ALL", "JPN_ALL"})
        write("software/PP-SCEDIT52_" + spec + "_r" + r, "exe");
}

std::shared_ptr<const updateserver::Catalog> LoadCatalog(const std::filesystem::path& folder) {
    std::string error;
    auto catalog = updateserver::Catalog::Load(folder, error);
    if (!catalog) throw std::runtime_error(error);
    return std::make_shared<const updateserver::Catalog>(std::move(*catalog));
}

bool WaitFor(const std::function<bool()>& state, milliseconds timeout = kStateTimeout) {
    const auto deadline = Clock::now() + timeout;
    while (!state()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// Enough PCs checking at once, for long enough, that a fault in the middle meets running requests.
loadgen::LoadOptions ManyPcs(int port) {
    loadgen::LoadOptions options;
    options.port = port;
    options.clients = 200;
    options.checksPerClient = 4;
    return options;
}

// The fault comes once a quarter of the checks have ended: the load is well under way.
bool AQuarterEnded(const loadgen::LoadRun& run, long long total) {
    return WaitFor([&] { return run.EndedChecks() >= total / 4; });
}

std::string Failures(const loadgen::LoadResult& result) {
    std::string text;
    for (const std::string& failure : result.failures) text += failure + "\n";
    return text;
}

class Deployment : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!NginxProcess::Installed()) GTEST_SKIP() << "nginx is not installed";
        catalog_.WriteCatalog(CatalogXml(1));
        WriteReleaseFiles(catalog_, 1);
        logs_ = MakeTempDir("deployment-logs");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(logs_, ec);
    }

    std::unique_ptr<ServerProcess> StartInstance(const std::string& name,
                                                 std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--catalog", catalog_.Dir().string(),           "--port", "0",
                                         "--log",     (logs_ / (name + ".log")).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        auto instance = std::make_unique<ServerProcess>(args);
        ports_[name] = instance->WaitUntilListening();
        EXPECT_GT(ports_[name], 0) << instance->Errors();
        return instance;
    }

    std::string Log(const std::string& name) const { return ReadWholeFile(logs_ / (name + ".log")); }

    TestCatalog catalog_;
    std::filesystem::path logs_;
    std::map<std::string, int> ports_;
};

// Many PCs check while one of the two instances is killed: nginx passes every exchange that met the
// dead instance to the other one, and no PC's check fails.
TEST_F(Deployment, KillingOneOfTwoInstancesLosesNoCheck) {
    auto first = StartInstance("first");
    auto second = StartInstance("second");
    NginxProcess nginx(catalog_.Dir(), {ports_["first"], ports_["second"]});
    ASSERT_TRUE(nginx.WaitUntilAccepting());

    const loadgen::CheckExpectations expectations({LoadCatalog(catalog_.Dir())});
    loadgen::LoadOptions options = ManyPcs(nginx.Port());
    loadgen::LoadRun run(options, expectations);
    auto load = std::async(std::launch::async, [&run] { return run.Run(); });

    const long long total = options.clients * options.checksPerClient;
    ASSERT_TRUE(AQuarterEnded(run, total));
    kill(first->Pid(), SIGKILL);
    const long long endedAtKill = run.EndedChecks();
    const loadgen::LoadResult result = load.get();

    EXPECT_LT(endedAtKill, total) << "the load ended before the instance was killed";
    EXPECT_EQ(result.checks, total);
    EXPECT_EQ(result.failedChecks, 0) << Failures(result);
}

// As the updater does, a PC asks an exchange again when the connection is lost before the answer is
// whole: an exchange only asks. A download cut short is never taken again: it fails the check.
TEST_F(Deployment, AnExchangeCutShortIsAskedAgainButACutDownloadFailsTheCheck) {
    const loadgen::CheckExpectations expectations({LoadCatalog(catalog_.Dir())});
    loadgen::LoadOptions options;
    options.clients = 1;
    options.checksPerClient = 1;
    {
        auto instance = StartInstance("exchange", {"--cut-body", "10", "--fault-path",
                                                   "/scupdater/versioncheck", "--fault-times", "1"});
        options.port = ports_["exchange"];
        const loadgen::LoadResult result = loadgen::LoadRun(options, expectations).Run();
        EXPECT_EQ(result.failedChecks, 0) << Failures(result);
        EXPECT_EQ(result.askedAgain, 1);
    }
    {
        auto instance = StartInstance(
            "download", {"--cut-body", "10", "--fault-path", "/scupdater/files/", "--fault-times", "1"});
        options.port = ports_["download"];
        const loadgen::LoadResult result = loadgen::LoadRun(options, expectations).Run();
        EXPECT_EQ(result.failedChecks, 1);
        EXPECT_EQ(result.askedAgain, 0);
        EXPECT_NE(Failures(result).find("connection closed in the body"), std::string::npos)
            << Failures(result);
    }
}

// The catalog folder changes and the instance reloads it (SIGHUP) while many PCs check: no request
// fails, and every answer is wholly the old or wholly the new catalog's.
TEST_F(Deployment, ReloadDuringLoadFailsNothingAndNeverMixesCatalogs) {
    TestCatalog release2;
    release2.WriteCatalog(CatalogXml(2));
    WriteReleaseFiles(release2, 2);
    WriteReleaseFiles(catalog_, 2);  // served beside release 1's files until the catalog file changes
    auto instance = StartInstance("instance");
    NginxProcess nginx(catalog_.Dir(), {ports_["instance"]});
    ASSERT_TRUE(nginx.WaitUntilAccepting());

    const loadgen::CheckExpectations eitherRelease(
        {LoadCatalog(catalog_.Dir()), LoadCatalog(release2.Dir())});
    loadgen::LoadOptions options = ManyPcs(nginx.Port());
    loadgen::LoadRun run(options, eitherRelease);
    auto load = std::async(std::launch::async, [&run] { return run.Run(); });

    const long long total = options.clients * options.checksPerClient;
    ASSERT_TRUE(AQuarterEnded(run, total));
    catalog_.WriteFile("catalog.xml.new", CatalogXml(2));
    std::filesystem::rename(catalog_.Dir() / "catalog.xml.new", catalog_.Dir() / "catalog.xml");
    kill(instance->Pid(), SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return Log("instance").find("catalog reloaded") != std::string::npos; }));
    const long long endedAtReload = run.EndedChecks();
    const loadgen::LoadResult result = load.get();

    EXPECT_LT(endedAtReload, total) << "the load ended before the reload";
    EXPECT_EQ(result.checks, total);
    EXPECT_EQ(result.failedChecks, 0) << Failures(result);

    // After the reload the new release alone is answered.
    const loadgen::CheckExpectations newRelease({LoadCatalog(release2.Dir())});
    options.clients = 4;
    options.checksPerClient = 1;
    const loadgen::LoadResult after = loadgen::LoadRun(options, newRelease).Run();
    EXPECT_EQ(after.failedChecks, 0) << Failures(after);
}

// A PC that sends its request body slowly holds a connection of nginx, never the thread of the single
// threaded instance behind it: another PC's whole check is answered meanwhile, nginx ends the slow
// request after its client_body_timeout, and the instance never sees it.
TEST_F(Deployment, SlowRequestBodyHoldsNoInstanceThread) {
    auto instance = StartInstance("instance", {"--threads", "1"});
    // One worker: its cached connection to the instance is the one that the single thread serves.
    NginxProcess nginx(catalog_.Dir(), {ports_["instance"]}, {{"WORKERS", "1"}});
    ASSERT_TRUE(nginx.WaitUntilAccepting());

    updateserver::FileDescriptor slow(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(nginx.Port()));
    ASSERT_EQ(::connect(slow.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string head =
        "POST /scupdater/versioncheck HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n"
        "Content-Length: 400\r\n\r\n<?xml version='1.0' ?><RequestInfo>";
    ASSERT_EQ(::send(slow.Get(), head.data(), head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(head.size()));

    const loadgen::CheckExpectations expectations({LoadCatalog(catalog_.Dir())});
    loadgen::LoadOptions options;
    options.port = nginx.Port();
    options.clients = 2;
    options.checksPerClient = 2;
    const loadgen::LoadResult fast = loadgen::LoadRun(options, expectations).Run();
    EXPECT_EQ(fast.failedChecks, 0) << Failures(fast);

    // The slow request is still open: the fast checks did not have to wait for nginx to end it.
    pollfd watch{slow.Get(), POLLIN, 0};
    EXPECT_EQ(::poll(&watch, 1, 0), 0) << "nginx ended the slow request before the fast checks were answered";

    // nginx ends it (408, or just the close) after client_body_timeout.
    ASSERT_EQ(::poll(&watch, 1, static_cast<int>(kStateTimeout.count())), 1);
    char answer[512] = {};
    const ssize_t n = ::recv(slow.Get(), answer, sizeof answer - 1, 0);
    EXPECT_TRUE(n == 0 || std::string(answer).find(" 200 ") == std::string::npos) << answer;

    const std::string log = Log("instance");
    EXPECT_EQ(log.find(" 400 "), std::string::npos) << log;
    EXPECT_EQ(log.find(" 408 "), std::string::npos) << log;
}

// Each package has its signed statement beside it, fetched at the package's address + ".sig". nginx
// (over https, as PCs reach it) and the instance itself serve it byte for byte, with the same type.
TEST_F(Deployment, StatementsBesideThePackagesArriveByteForByteOverHttpsAndFromTheInstance) {
    // Lines end in LF alone, a line may end in a blank, and values may be UTF-8: nothing may be
    // recoded or given other line ends on the way, or the signature no longer holds.
    const std::string statement =
        "ScUpdater statement 1\nkey: 0123456789abcdef\npackage: SCUPDATER\nspec: ALL_ALL\nversion: 1.1.0\n"
        "model: \nfile: ScUpdater-1.1.0.zip\nsize: 9\nsha256: " +
        std::string(64, 'a') +
        "\nexpires: 2031-01-01T00:00:00Z\nreplaces: \xC3\xA9\nsignature: " + std::string(86, 'A') + "==\n";
    const std::map<std::string, std::string> files = {
        {"updater/ScUpdater-1.1.0.zip.sig", statement},
        {"SC-200/SC-200-FP-MAIN_ENU_ALL_r1.pdz.sig", "statement of the firmware\n"},
        {"software/PP-SCEDIT52_JPN_ALL_r1.zip.sig", "statement of the description\n"}};
    for (const auto& [path, text] : files) catalog_.WriteFile(path, text);

    auto instance = StartInstance("instance");
    NginxProcess nginx(catalog_.Dir(), {ports_["instance"]});
    ASSERT_TRUE(nginx.WaitUntilAccepting());
    httplib::SSLClient https("127.0.0.1", nginx.TlsPort());
    https.set_ca_cert_path(TEST_CA_DIR "/ca.pem");
    https.enable_server_certificate_verification(true);
    httplib::Client direct("127.0.0.1", ports_["instance"]);
    for (const auto& [path, text] : files) {
        SCOPED_TRACE(path);
        const auto viaNginx = https.Get("/scupdater/files/" + path);
        const auto fromInstance = direct.Get("/scupdater/files/" + path);
        ASSERT_TRUE(viaNginx) << httplib::to_string(viaNginx.error());
        ASSERT_TRUE(fromInstance) << httplib::to_string(fromInstance.error());
        for (const auto* answer : {&viaNginx.value(), &fromInstance.value()}) {
            EXPECT_EQ(answer->status, 200);
            EXPECT_EQ(answer->body, text);
            EXPECT_EQ(answer->get_header_value("Content-Type"), "application/octet-stream");
            EXPECT_FALSE(answer->has_header("Content-Encoding"));
        }
    }
    // A statement that is not there is a plain 404, never some other page in its place.
    const auto missing = https.Get("/scupdater/files/software/PP-SCEDIT52_JPN_ALL_r1.exe.sig");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

}  // namespace
