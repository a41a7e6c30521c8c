// The relay between real sockets on this PC: what it adds is at least the delay it was given, and
// what it carries arrives whole and in order. Only lower bounds on time are checked: a loaded PC
// may always be slower.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "Relay.h"

namespace slowline {
namespace {

using namespace std::chrono_literals;

// Every blocking call of a test gives up after this, so that a broken relay fails instead of hanging.
constexpr timeval kSocketPatience{20, 0};

UniqueFd Listening(uint16_t& port) {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(fd.get(), 16);
    socklen_t length = sizeof(address);
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

void BePatient(int fd) {
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kSocketPatience, sizeof(kSocketPatience));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kSocketPatience, sizeof(kSocketPatience));
}

UniqueFd Connect(uint16_t port) {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    BePatient(fd.get());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly count bytes; fewer when the stream ends or fails first.
std::string ReadExactly(int fd, size_t count) {
    std::string bytes(count, '\0');
    size_t got = 0;
    while (got < count) {
        const ssize_t n = recv(fd, bytes.data() + got, count - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// A target server on this PC: each connection it takes is given to the handler on a thread of its own.
class Target {
  public:
    explicit Target(std::function<void(UniqueFd&)> handler) : handler_(std::move(handler)) {
        listener_ = Listening(port_);
        thread_ = std::thread([this] {
            for (;;) {
                UniqueFd client(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                if (!client || stopping_) return;
                BePatient(client.get());
                handlers_.emplace_back([this, fd = std::move(client)]() mutable { handler_(fd); });
            }
        });
    }
    ~Target() {
        stopping_ = true;
        shutdown(listener_.get(), SHUT_RDWR);
        thread_.join();
        for (std::thread& handler : handlers_) handler.join();
    }
    uint16_t Port() const { return port_; }

  private:
    std::function<void(UniqueFd&)> handler_;
    UniqueFd listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<std::thread> handlers_;
};

void Echo(UniqueFd& fd) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = recv(fd.get(), buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        if (!SendAll(fd.get(), std::string(buffer, static_cast<size_t>(n)))) break;
    }
}

// The relay on a thread of its own, stopped and joined at the end.
class RunningRelay {
  public:
    RunningRelay(uint16_t targetPort, std::chrono::milliseconds delay, std::string statsPath = {}) {
        RelayOptions options;
        options.targetPort = targetPort;
        options.delay = delay;
        options.statsPath = statsPath;
        relay_ = std::make_unique<Relay>(options);
        std::string error;
        listening_ = relay_->Listen(error);
        EXPECT_TRUE(listening_) << error;
        stop_.reset(eventfd(0, EFD_CLOEXEC));
        if (listening_)
            thread_ = std::thread([this] {
                std::string failure;
                ran_ = relay_->Run(stop_.get(), failure);
            });
    }
    ~RunningRelay() { Stop(); }
    // The relay's counts, once it has stopped.
    RelayCounts Stop() {
        if (thread_.joinable()) {
            const uint64_t one = 1;
            EXPECT_EQ(write(stop_.get(), &one, sizeof(one)), static_cast<ssize_t>(sizeof(one)));
            thread_.join();
            EXPECT_TRUE(ran_);
        }
        return relay_->Counts();
    }
    uint16_t Port() const { return relay_->Port(); }

  private:
    std::unique_ptr<Relay> relay_;
    bool listening_ = false;
    bool ran_ = false;
    UniqueFd stop_;
    std::thread thread_;
};

double Elapsed(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

TEST(Relay, AnExchangeTakesTheHandshakeAndTheRoundTripItAdds) {
    Target target(Echo);
    const auto delay = 100ms;
    RunningRelay relay(target.Port(), delay);
    const Clock::time_point opened = Clock::now();
    UniqueFd client = Connect(relay.Port());
    ASSERT_TRUE(SendAll(client.get(), "ping"));
    EXPECT_EQ(ReadExactly(client.get(), 4), "ping");
    // A new connection: one round trip for the handshake, one for the exchange.
    EXPECT_GE(Elapsed(opened), 4 * delay.count());
    const Clock::time_point again = Clock::now();
    ASSERT_TRUE(SendAll(client.get(), "pong"));
    EXPECT_EQ(ReadExactly(client.get(), 4), "pong");
    EXPECT_GE(Elapsed(again), 2 * delay.count());
}

TEST(Relay, BytesArriveWholeAndInOrderBothWays) {
    Target target(Echo);
    RunningRelay relay(target.Port(), 20ms);
    std::mt19937 random(7);
    std::string sent(3u << 20, '\0');
    for (char& c : sent) c = static_cast<char>(random());
    UniqueFd client = Connect(relay.Port());
    // Pieces of many sizes, sent while the echo comes back, so that both ways carry at once and
    // the relay has to hold back a sender that outruns its reader.
    std::thread sender([&] {
        std::uniform_int_distribution<size_t> size(1, 200000);
        size_t at = 0;
        while (at < sent.size()) {
            const size_t n = std::min(size(random), sent.size() - at);
            if (!SendAll(client.get(), sent.substr(at, n))) break;
            at += n;
        }
        shutdown(client.get(), SHUT_WR);
    });
    const std::string echoed = ReadExactly(client.get(), sent.size() + 1);
    sender.join();
    ASSERT_EQ(echoed.size(), sent.size());
    EXPECT_TRUE(echoed == sent) << "the echo differs from what was sent";
}

TEST(Relay, ACloseAndAResetPassThroughAfterTheDelay) {
    const auto delay = 80ms;
    // The server answers "x" with the end its first byte asks for: "c" a close, "r" a reset.
    Target target([](UniqueFd& fd) {
        const std::string asked = ReadExactly(fd.get(), 1);
        if (asked == "r") {
            linger abort{1, 0};
            setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
        } else {
            // The client's own close must come through too before the server closes.
            EXPECT_EQ(ReadExactly(fd.get(), 1), "");
        }
        fd.reset();
    });
    RunningRelay relay(target.Port(), delay);
    {
        UniqueFd client = Connect(relay.Port());
        ASSERT_TRUE(SendAll(client.get(), "c"));
        const Clock::time_point closed = Clock::now();
        shutdown(client.get(), SHUT_WR);
        char byte = 0;
        EXPECT_EQ(recv(client.get(), &byte, 1, 0), 0);
        EXPECT_GE(Elapsed(closed), 2 * delay.count());
    }
    {
        UniqueFd client = Connect(relay.Port());
        ASSERT_TRUE(SendAll(client.get(), "r"));
        const Clock::time_point asked = Clock::now();
        char byte = 0;
        EXPECT_EQ(recv(client.get(), &byte, 1, 0), -1);
        EXPECT_EQ(errno, ECONNRESET);
        EXPECT_GE(Elapsed(asked), 2 * delay.count());
    }
}

TEST(Relay, ATargetThatRefusesResetsTheClientARoundTripLater) {
    uint16_t closedPort = 0;
    Listening(closedPort);  // the port is free again once this socket is gone
    const auto delay = 60ms;
    RunningRelay relay(closedPort, delay);
    const Clock::time_point opened = Clock::now();
    UniqueFd client = Connect(relay.Port());
    char byte = 0;
    EXPECT_EQ(recv(client.get(), &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);
    EXPECT_GE(Elapsed(opened), 2 * delay.count());
    const RelayCounts counts = relay.Stop();
    EXPECT_EQ(counts.connections, 1u);
    EXPECT_EQ(counts.refused, 1u);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Relay, CountsTheConnectionsItRelayed) {
    Target target(Echo);
    const std::string stats = ::testing::TempDir() + "slowline-stats.txt";
    std::remove(stats.c_str());
    RunningRelay relay(target.Port(), 5ms, stats);
    for (int i = 0; i < 3; ++i) {
        UniqueFd client = Connect(relay.Port());
        ASSERT_TRUE(SendAll(client.get(), "abc"));
        EXPECT_EQ(ReadExactly(client.get(), 3), "abc");
    }
    // The file is rewritten as each one ends; the last has ended once none is open.
    std::string text;
    for (int i = 0; i < 400 && text.find("open 0") == std::string::npos; ++i) {
        std::this_thread::sleep_for(50ms);
        text = ReadFile(stats);
    }
    EXPECT_NE(text.find("connections 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("open 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("bytes_to_target 9\n"), std::string::npos) << text;
    const RelayCounts counts = relay.Stop();
    EXPECT_EQ(counts.connections, 3u);
    EXPECT_EQ(counts.bytesToClient, 9u);
    std::remove(stats.c_str());
}

}  // namespace
}  // namespace slowline
