// The HTTP layer on its own: how requests are read and refused, and how connections are held (idle
// ones in the waiting thread, never in a worker), answered in order, timed out and ended by a stop.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "HttpRequestParser.h"
#include "HttpServer.h"

namespace {

using updateserver::HttpRequest;
using updateserver::HttpRequestParser;
using updateserver::HttpResponse;
using updateserver::HttpServer;
using State = HttpRequestParser::State;
constexpr std::size_t kQuickPadding = 256 * 1024;

// --- Reading requests -------------------------------------------------------------------------

TEST(HttpRequestParser, ReadsARequestThatArrivesInPiecesAndTellsWhereTheNextOneBegins) {
    const std::string text =
        "POST /scupdater/My%20Files/a+b?kind=cut-body&bytes=40&note=a+b%21 HTTP/1.1\r\n"
        "Host: x\r\ncontent-length: 5\r\nX-Empty:\r\n\r\nhelloGET / HTTP/1.1\r\n";
    HttpRequestParser parser(1024);
    const std::size_t headEnd = text.find("\r\n\r\n") + 4;
    for (std::size_t n = 0; n < headEnd + 5; ++n)
        ASSERT_EQ(parser.Parse(std::string_view(text).substr(0, n)), State::NeedMore) << n;
    ASSERT_EQ(parser.Parse(text), State::Complete);

    const HttpRequest& request = parser.Request();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/scupdater/My Files/a+b");
    EXPECT_EQ(request.get_param_value("kind"), "cut-body");
    EXPECT_EQ(request.get_param_value("note"), "a b!");
    EXPECT_EQ(request.get_header_value("Content-Length"), "5");
    EXPECT_TRUE(request.has_header("x-empty"));
    EXPECT_EQ(request.body, "hello");
    EXPECT_EQ(parser.Consumed(), headEnd + 5);
    EXPECT_TRUE(parser.KeepAlive());
}

// A client's stack may send a request in pieces cut anywhere, a line or part of one at a time.
TEST(HttpRequestParser, ReadsARequestCutAnywhereIntoTwoPieces) {
    const std::string text =
        "\r\nGET /_control/stats?kind=a HTTP/1.0\r\nHost: 127.0.0.1:43859\r\nContent-Length: 2\r\n\r\nokGET";
    const std::size_t end = text.size() - 3;
    for (std::size_t cut = 1; cut < end; ++cut) {
        HttpRequestParser parser(1024);
        ASSERT_EQ(parser.Parse(std::string_view(text).substr(0, cut)), State::NeedMore) << cut;
        ASSERT_EQ(parser.Parse(text), State::Complete) << cut << ": " << parser.FailureReason();
        EXPECT_EQ(parser.Request().path, "/_control/stats") << cut;
        EXPECT_EQ(parser.Request().get_header_value("Host"), "127.0.0.1:43859") << cut;
        EXPECT_EQ(parser.Request().body, "ok") << cut;
        EXPECT_EQ(parser.Consumed(), end) << cut;
    }
}

TEST(HttpRequestParser, RefusesWhatItCannotReadWithTheStatusAndTheReason) {
    struct Case {
        std::string request;
        int status;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"GET /\r\n\r\n", 400, "malformed request line"},
        {"GET  / HTTP/1.1\r\n\r\n", 400, "malformed request line"},
        {"GET / HTTP/2.0\r\n\r\n", 505, "only HTTP/1.0 and HTTP/1.1 are spoken here"},
        {"GET x HTTP/1.1\r\n\r\n", 400, "the request target is not a path"},
        {"GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400, "malformed header line"},
        {"POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n", 400, "malformed Content-Length"},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", 400,
         "two different Content-Length headers"},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 411,
         "a request body must come with Content-Length (chunked bodies are not taken)"},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n", 411,
         "a request body must come with Content-Length (chunked bodies are not taken)"},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: gzip\r\n\r\n", 411,
         "a request body must come with Content-Length (chunked bodies are not taken)"},
        {"GET / HTTP/1.2\r\n\r\n", 505, "only HTTP/1.0 and HTTP/1.1 are spoken here"},
        {"G(T / HTTP/1.1\r\n\r\n", 400, "malformed request method"},
        {"GET /a\x01b HTTP/1.1\r\n\r\n", 400, "malformed request line"},
        {"GET / HTTP/1.1\r\nX: a\rb\r\n\r\n", 400, "malformed header line"},
        {"POST / HTTP/1.1\r\nContent-Length: 1025\r\n\r\n", 413,
         "request body of 1025 bytes, more than 1024"},
        {"GET / HTTP/1.1\r\nX: " + std::string(HttpRequestParser::kMaxHeaderBytes, 'a'), 431,
         "request line and headers longer than 16384 bytes"},
        {[] {
             std::string blankLines;
             for (int i = 0; i < 10000; ++i) blankLines += "\r\n";
             return blankLines;
         }(),
         431, "request line and headers longer than 16384 bytes"},
    };
    for (const Case& c : cases) {
        HttpRequestParser parser(1024);
        EXPECT_EQ(parser.Parse(c.request), State::Failed) << c.request.substr(0, 60);
        EXPECT_EQ(parser.FailureStatus(), c.status) << c.request.substr(0, 60);
        EXPECT_EQ(parser.FailureReason(), c.reason);
        EXPECT_FALSE(parser.KeepAlive());
    }
}

TEST(HttpRequestParser, KeepsTheConnectionOpenAsTheVersionAndTheConnectionHeaderSay) {
    const auto keepsAlive = [](const std::string& head) {
        HttpRequestParser parser(1024);
        EXPECT_EQ(parser.Parse("GET / " + head + "\r\n\r\n"), State::Complete) << head;
        return parser.KeepAlive();
    };
    EXPECT_TRUE(keepsAlive("HTTP/1.1"));
    EXPECT_FALSE(keepsAlive("HTTP/1.1\r\nConnection: Close"));
    EXPECT_FALSE(keepsAlive("HTTP/1.0"));
    EXPECT_TRUE(keepsAlive("HTTP/1.0\r\nConnection: keep-alive"));
    EXPECT_FALSE(keepsAlive("HTTP/1.1\r\nConnection: TE, close"));
}

// --- Holding connections ------------------------------------------------------------------------

// One client connection that stays open over several requests.
class Client {
  public:
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::string& text) {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }
    // Reads until the text holds `count` times "\r\n\r\n" after which the announced bodies have come, the
    // server closes, or nothing comes for the time-out. Returns all that came.
    std::string ReadAnswers(int count, int timeoutMs = 10000) {
        std::string all;
        while (CompleteAnswers(all) < count) {
            pollfd watch{fd_, POLLIN, 0};
            if (::poll(&watch, 1, timeoutMs) <= 0) break;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closedByServer_ = true;
                break;
            }
            all.append(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }
    // Everything until the server closes, or until nothing comes for the time-out.
    std::string ReadUntilClosedKeeping(int timeoutMs = 30000) {
        std::string all;
        char buffer[65536];
        for (;;) {
            pollfd watch{fd_, POLLIN, 0};
            if (::poll(&watch, 1, timeoutMs) <= 0) return all;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closedByServer_ = true;
                return all;
            }
            all.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Reads and drops everything until the server closes; false when nothing comes for the time-out.
    bool ReadUntilClosed(int timeoutMs = 30000) {
        char buffer[65536];
        for (;;) {
            pollfd watch{fd_, POLLIN, 0};
            if (::poll(&watch, 1, timeoutMs) <= 0) return false;
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        }
    }
    // True once the server has closed the connection (read after the answers).
    bool ClosedByServer(int timeoutMs = 10000) {
        if (closedByServer_) return true;
        pollfd watch{fd_, POLLIN, 0};
        char buffer[256];
        return ::poll(&watch, 1, timeoutMs) > 0 && ::recv(fd_, buffer, sizeof buffer, 0) <= 0;
    }

  private:
    static int CompleteAnswers(const std::string& all) {
        int count = 0;
        std::size_t at = 0;
        for (;;) {
            const std::size_t end = all.find("\r\n\r\n", at);
            if (end == std::string::npos) return count;
            const std::size_t length = all.find("Content-Length: ", at);
            const std::size_t body =
                length != std::string::npos && length < end ? std::stoul(all.substr(length + 16)) : 0;
            if (all.size() < end + 4 + body) return count;
            at = end + 4 + body;
            ++count;
        }
    }

    int fd_;
    bool connected_ = false;
    bool closedByServer_ = false;
};

class HttpServerTest : public ::testing::Test {
  protected:
    void Start(HttpServer::Settings settings) {
        server_ = std::make_unique<HttpServer>(
            settings,
            [this](const HttpRequest& request, HttpResponse& response) { Handle(request, response); },
            [this](const HttpRequest&, const HttpResponse&) { ++logged_; },
            [this](const HttpRequest& request, HttpResponse& response) {
                return HandleAtOnce(request, response);
            });
        std::string error;
        port_ = server_->Listen("127.0.0.1", 0, error);
        ASSERT_GT(port_, 0) << error;
        running_ = std::async(std::launch::async, [this] { server_->Run(); });
    }
    void TearDown() override {
        if (!server_) return;
        server_->Stop();
        running_.wait();
    }

    void Handle(const HttpRequest& request, HttpResponse& response) {
        if (HandleAtOnce(request, response)) return;
        if (request.path == "/overlong") {
            response.set_content_provider(10, "text/plain",
                                          [](std::size_t, std::size_t, updateserver::DataSink& sink) {
                                              return sink.write("sixteen bytes...", 16);
                                          });
            return;
        }
        if (request.path == "/endless") {
            streaming_ = true;
            auto zeros = std::make_shared<std::string>(64 * 1024, '\0');
            response.set_content_provider(
                1ULL << 40, "application/octet-stream",
                [zeros](std::size_t, std::size_t length, updateserver::DataSink& sink) {
                    return sink.write(zeros->data(), std::min(length, zeros->size()));
                });
            return;
        }
        response.set_content(request.method + " " + request.path + " " + request.body, "text/plain");
    }

    // Answers "/quick?n=N" on the reactor's thread: N, then 256 KiB, so that a few answers fill the socket.
    bool HandleAtOnce(const HttpRequest& request, HttpResponse& response) {
        if (request.path != "/quick") return false;
        response.set_content(
            "answer " + request.get_param_value("n") + "\n" + std::string(kQuickPadding, 'q'), "text/plain");
        return true;
    }

    std::unique_ptr<HttpServer> server_;
    std::future<void> running_;
    std::atomic<int> logged_{0};
    int port_ = 0;
    std::atomic<bool> streaming_{false};
};

TEST_F(HttpServerTest, ConnectionsKeptOpenBetweenRequestsHoldNoWorker) {
    HttpServer::Settings settings;
    settings.workers = 2;
    settings.keepAliveTimeout = std::chrono::minutes(5);
    Start(settings);
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<Client>(port_));
        ASSERT_TRUE(idle.back()->Send("GET /first HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_NE(idle.back()->ReadAnswers(1).find("Connection: keep-alive"), std::string::npos) << i;
    }

    // Eight connections stay open on two workers; a new client is still answered, and so is the next
    // request on an idle connection.
    Client late(port_);
    ASSERT_TRUE(late.Send("GET /late HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::string answer = late.ReadAnswers(1);
    EXPECT_EQ(answer.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(answer.find("GET /late"), std::string::npos);
    EXPECT_TRUE(late.ClosedByServer());
    ASSERT_TRUE(idle.front()->Send("POST /again HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc"));
    EXPECT_NE(idle.front()->ReadAnswers(1).find("POST /again abc"), std::string::npos);
}

TEST_F(HttpServerTest, RequestsSentTogetherAreAnsweredInTheirOrder) {
    Start(HttpServer::Settings{});
    Client client(port_);
    ASSERT_TRUE(
        client.Send("POST /one HTTP/1.1\r\nContent-Length: 1\r\n\r\n1"
                    "GET /two HTTP/1.1\r\n\r\n"
                    "HEAD /three HTTP/1.1\r\nConnection: close\r\n\r\n"));
    const std::string answers = client.ReadAnswers(3);
    const std::size_t one = answers.find("POST /one 1");
    const std::size_t two = answers.find("GET /two ");
    ASSERT_NE(one, std::string::npos) << answers;
    ASSERT_NE(two, std::string::npos) << answers;
    EXPECT_LT(one, two);
    // The answer to HEAD announces the body it does not send, and the connection ends after it.
    EXPECT_NE(answers.find("Content-Length: 12\r\nConnection: close\r\n\r\n", two), std::string::npos)
        << answers;
    EXPECT_EQ(answers.find("HEAD /three"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, AnswersMadeAtOnceThatDoNotFitTheSocketArriveWholeAndInOrder) {
    Start(HttpServer::Settings{});
    Client client(port_);
    constexpr int kRequests = 40;  // 10 MB of answers, more than the socket buffers hold
    std::string requests;
    for (int i = 0; i < kRequests; ++i) requests += "GET /quick?n=" + std::to_string(i) + " HTTP/1.1\r\n\r\n";
    requests += "GET /after HTTP/1.1\r\nConnection: close\r\n\r\n";
    ASSERT_TRUE(client.Send(requests));
    const std::string answers = client.ReadUntilClosedKeeping();
    std::size_t at = 0;
    for (int i = 0; i < kRequests; ++i) {
        const std::size_t found = answers.find("\r\n\r\nanswer " + std::to_string(i) + "\n", at);
        ASSERT_NE(found, std::string::npos) << "answer " << i << " of " << answers.size() << " bytes";
        at = found + kQuickPadding;
        ASSERT_LE(at, answers.size());
    }
    EXPECT_NE(answers.find("GET /after", at), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
    EXPECT_EQ(logged_, kRequests + 1);
}

TEST_F(HttpServerTest, ARequestWhoseBytesStopComingGets408AndTheConnectionCloses) {
    HttpServer::Settings settings;
    settings.readTimeout = std::chrono::milliseconds(300);
    Start(settings);
    Client client(port_);
    ASSERT_TRUE(client.Send("POST /slow HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));
    const std::string answer = client.ReadAnswers(1);
    EXPECT_EQ(answer.substr(0, 29), "HTTP/1.1 408 Request Timeout\r") << answer;
    EXPECT_NE(answer.find("the request did not arrive within the read time-out"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, AMalformedRequestIsAnsweredWithItsReasonAndTheConnectionCloses) {
    Start(HttpServer::Settings{});
    Client client(port_);
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string answer = client.ReadAnswers(1);
    EXPECT_EQ(answer.substr(0, 28), "HTTP/1.1 411 Length Required") << answer;
    EXPECT_NE(answer.find("chunked bodies are not taken"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, AClientThatExpectsContinueGetsItBeforeItSendsTheBody) {
    Start(HttpServer::Settings{});
    Client client(port_);
    ASSERT_TRUE(client.Send("POST /up HTTP/1.1\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n"));
    EXPECT_EQ(client.ReadAnswers(1), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(client.Send("data"));
    EXPECT_NE(client.ReadAnswers(1).find("POST /up data"), std::string::npos);
}

TEST_F(HttpServerTest, StopEndsRunWhileOneClientReadsNothingOfItsAnswerAndAnotherReadsSteadily) {
    HttpServer::Settings settings;
    settings.writeTimeout = std::chrono::minutes(5);
    Start(settings);
    Client stalled(port_);
    ASSERT_TRUE(stalled.Send("GET /endless HTTP/1.1\r\n\r\n"));
    Client reading(port_);
    ASSERT_TRUE(reading.Send("GET /endless HTTP/1.1\r\n\r\n"));
    std::atomic<bool> readUntilClosed{false};
    std::thread reader([&] { readUntilClosed = reading.ReadUntilClosed(); });
    Client idle(port_);
    ASSERT_TRUE(idle.Send("GET /first HTTP/1.1\r\n\r\n"));
    ASSERT_NE(idle.ReadAnswers(1).find("GET /first"), std::string::npos);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!streaming_ && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_TRUE(streaming_);

    server_->Stop();
    const bool ended = running_.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(ended) << "Run still goes on 20 s after Stop";
    EXPECT_TRUE(idle.ClosedByServer());
    reader.join();
    EXPECT_TRUE(readUntilClosed);
}

TEST_F(HttpServerTest, AnAnswerLongerThanItsAnnouncedLengthEndsTheConnection) {
    HttpServer::Settings settings;
    settings.keepAliveTimeout = std::chrono::minutes(5);  // the close must not be the idle one
    Start(settings);
    Client client(port_);
    ASSERT_TRUE(client.Send("GET /overlong HTTP/1.1\r\n\r\n"));
    client.ReadAnswers(1);
    EXPECT_TRUE(client.ClosedByServer());
}

}  // namespace
