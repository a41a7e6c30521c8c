// The simulator on a real pseudo-terminal, talked to from the slave side as a program's serial
// port would be.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Simulator.h"
#include "TestBytes.h"
#include "common/UniqueFd.h"

namespace printersim {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One simulator serving on its own thread, stopped (as a signal would) when it goes.
class LiveSimulator {
  public:
    explicit LiveSimulator(SimOptions options) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        stopRead_.reset(fds[0]);
        stopWrite_.reset(fds[1]);
        simulator_ = std::make_unique<Simulator>(std::move(options), stopRead_.get());
        std::string error;
        if (!simulator_->Start(error)) throw std::runtime_error(error);
        thread_ = std::thread([this] {
            std::string error;
            served_ = simulator_->Serve(error);
        });
    }
    ~LiveSimulator() { Stop(); }
    bool Stop() {
        if (thread_.joinable()) {
            (void)!write(stopWrite_.get(), "x", 1);
            thread_.join();
        }
        return served_;
    }

  private:
    UniqueFd stopRead_, stopWrite_;
    std::unique_ptr<Simulator> simulator_;
    std::thread thread_;
    bool served_ = false;
};

// The program's end of the line.
class Port {
  public:
    explicit Port(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        if (fd_ && tcgetattr(fd_.get(), &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_.get(), TCSANOW, &t);
        }
    }
    bool open() const { return static_cast<bool>(fd_); }
    void Send(const Bytes& b) {
        std::size_t at = 0;
        while (at < b.size()) {
            ssize_t n = ::write(fd_.get(), b.data() + at, b.size() - at);
            if (n > 0)
                at += static_cast<std::size_t>(n);
            else
                WaitFor(POLLOUT, 100);
        }
    }
    // Reads until count bytes arrived or the time is up; pieces gets the size of each read.
    Bytes Read(std::size_t count, milliseconds within, std::vector<std::size_t>* pieces = nullptr) {
        Bytes out;
        auto deadline = Clock::now() + within;
        while (out.size() < count) {
            auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || !WaitFor(POLLIN, static_cast<int>(left))) break;
            std::uint8_t buf[1024];
            ssize_t n = ::read(fd_.get(), buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) {
                hungUp_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + n);
            if (pieces) pieces->push_back(static_cast<std::size_t>(n));
        }
        return out;
    }
    // Waits until count bytes are there to be read, without taking them.
    bool HasWaiting(std::size_t count, milliseconds within) {
        auto deadline = Clock::now() + within;
        for (int waiting = 0; Clock::now() < deadline; std::this_thread::sleep_for(milliseconds(5)))
            if (::ioctl(fd_.get(), FIONREAD, &waiting) == 0 && static_cast<std::size_t>(waiting) >= count)
                return true;
        return false;
    }
    bool HungUp(milliseconds within) {
        auto deadline = Clock::now() + within;
        while (!hungUp_ && Clock::now() < deadline) Read(1, milliseconds(50));
        return hungUp_;
    }

  private:
    bool WaitFor(short events, int ms) {
        pollfd p{fd_.get(), events, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) hungUp_ = true;
        return true;
    }
    UniqueFd fd_;
    bool hungUp_ = false;
};

class LineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/printersim-line-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        options_.link = dir_ / "com11";
        options_.statePath = dir_ / "state.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Sends a download of length bytes in pieces of at most 512 within each credit, as the
    // program does; gives the last status.
    Bytes Download(Port& port, const pd3::Header& h) {
        port.Send(Join({Command('D'), HeaderBytes(h)}));
        Bytes status = port.Read(32, milliseconds(2000));
        std::uint32_t sent = 0;
        while (status.size() == 32 && status[18] == 1 && ReadLe32(status, 24) > 0) {
            std::uint32_t credit = ReadLe32(status, 24);
            while (credit > 0) {
                std::uint32_t piece = std::min<std::uint32_t>(512, credit);
                port.Send(Join({Le32(piece), Data(piece, static_cast<std::uint8_t>(sent))}));
                credit -= piece;
                sent += piece;
            }
            status = port.Read(32, milliseconds(2000));
        }
        return status;
    }

    std::filesystem::path dir_;
    SimOptions options_;
};

TEST_F(LineTest, FileSentInOneRunIsListedInTheNextAndTheOldLinkComesBack) {
    std::filesystem::create_symlink("/dev/null", options_.link);
    options_.profile.credit = 1300;
    {
        LiveSimulator sim(options_);
        Port port(options_.link);
        ASSERT_TRUE(port.open());
        port.Send(Join({Command('I'), Command('S')}));
        Bytes id = port.Read(32, milliseconds(2000));
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id[0], 0x81);
        EXPECT_EQ(id[6], 1);

        port.Send(Command('l'));
        EXPECT_EQ(port.Read(2, milliseconds(2000)), (Bytes{0, 0}));

        Bytes last = Download(port, Firmware("FIRMWAREA", 3000));
        ASSERT_EQ(last.size(), 32u);
        EXPECT_EQ(last[18], 1);
        EXPECT_TRUE(sim.Stop());
    }
    EXPECT_EQ(std::filesystem::read_symlink(options_.link), "/dev/null");

    LiveSimulator again(options_);
    Port port(options_.link);
    port.Send(Command('l'));
    Bytes list = port.Read(2 + 128, milliseconds(2000));
    ASSERT_EQ(list.size(), 130u);
    EXPECT_EQ(list[0], 1);
    EXPECT_EQ(pd3::Header::Decode(std::span(list).subspan(2))->name, "FIRMWAREA");
}

TEST_F(LineTest, LinkLeftByAnEarlierSimulatorIsRemovedAtTheEnd) {
    std::filesystem::create_symlink("/dev/pts/999", options_.link);
    {
        LiveSimulator sim(options_);
        EXPECT_NE(std::filesystem::read_symlink(options_.link), "/dev/pts/999");
    }
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(options_.link, ec)));
}

TEST_F(LineTest, StatusArrivesInTheConfiguredPieces) {
    options_.split = {10, 10, 12};
    options_.splitDelay = milliseconds(80);
    LiveSimulator sim(options_);
    Port port(options_.link);
    port.Send(Join({Command('I'), Command('S')}));
    std::vector<std::size_t> pieces;
    auto start = Clock::now();
    Bytes status = port.Read(32, milliseconds(3000), &pieces);
    EXPECT_EQ(status.size(), 32u);
    EXPECT_EQ(pieces, (std::vector<std::size_t>{10, 10, 12}));
    EXPECT_GE(Clock::now() - start, milliseconds(150));
    // Replies that are not status replies come whole.
    port.Send(Command('L'));
    pieces.clear();
    port.Read(2, milliseconds(2000), &pieces);
    EXPECT_EQ(pieces, (std::vector<std::size_t>{2}));
}

TEST_F(LineTest, HangUpMidDownloadThenTheLineComesBack) {
    options_.profile.dropAfter = 1000;
    LiveSimulator sim(options_);
    auto firstLine = std::filesystem::read_symlink(options_.link);
    Port port(options_.link);
    port.Send(Join({Command('D'), HeaderBytes(Firmware("X", 3000))}));
    ASSERT_EQ(port.Read(32, milliseconds(2000)).size(), 32u);
    port.Send(Join({Le32(512), Data(512), Le32(512), Data(512)}));
    EXPECT_TRUE(port.HungUp(milliseconds(3000)));

    auto deadline = Clock::now() + milliseconds(3000);
    while (std::filesystem::read_symlink(options_.link) == firstLine && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    ASSERT_NE(std::filesystem::read_symlink(options_.link), firstLine);
    Port again(options_.link);
    again.Send(Join({Command('I'), Command('S')}));
    EXPECT_EQ(again.Read(32, milliseconds(2000)).size(), 32u);
}

TEST_F(LineTest, MutedPrinterStopsAnsweringAfterItsCount) {
    options_.profile.muteAfter = 2;
    LiveSimulator sim(options_);
    Port port(options_.link);
    port.Send(Join({Command('I'), Command('S')}));
    EXPECT_EQ(port.Read(32, milliseconds(2000)).size(), 32u);
    port.Send(Join({Command('I'), Command('S')}));
    EXPECT_TRUE(port.Read(32, milliseconds(400)).empty());
}

TEST_F(LineTest, DataSentWhileTheStatusWaitsUnreadOnTheLineIsRefused) {
    options_.profile.credit = 512;
    LiveSimulator sim(options_);
    Port port(options_.link);
    port.Send(Join({Command('D'), HeaderBytes(Firmware("HASTY", 2048))}));
    ASSERT_EQ(port.Read(32, milliseconds(2000)).size(), 32u);
    port.Send(Join({Le32(512), Data(512)}));
    // The next credit's status has arrived; the program sends on without reading it, and reads
    // only once the printer has answered that.
    ASSERT_TRUE(port.HasWaiting(32, milliseconds(2000)));
    port.Send(Join({Le32(512), Data(512)}));
    ASSERT_TRUE(port.HasWaiting(64, milliseconds(2000)));
    Bytes statuses = port.Read(64, milliseconds(2000));
    ASSERT_EQ(statuses.size(), 64u);
    EXPECT_EQ(statuses[18], 1);
    EXPECT_EQ(ReadLe32(statuses, 24), 512u);
    EXPECT_NE(statuses[32 + 18], 1) << "the second piece is refused";

    // Read in turn, the same pieces go through.
    Bytes last = Download(port, Firmware("PATIENT", 2048));
    ASSERT_EQ(last.size(), 32u);
    EXPECT_EQ(last[18], 1);
}

TEST_F(LineTest, ModeAnswerTakesItsDelay) {
    options_.profile.modeDelay = milliseconds(600);
    LiveSimulator sim(options_);
    Port port(options_.link);
    auto start = Clock::now();
    port.Send(Command('M'));
    EXPECT_TRUE(port.Read(32, milliseconds(300)).empty()) << "not before its time";
    EXPECT_EQ(port.Read(32, milliseconds(3000)).size(), 32u);
    EXPECT_GE(Clock::now() - start, milliseconds(600));
}

TEST_F(LineTest, LineRateHoldsRepliesToTheirTime) {
    std::string error;
    StoredFiles seeded(options_.statePath);
    for (const char* name : {"A", "B", "C", "D"}) ASSERT_TRUE(seeded.Keep(Firmware(name, 1).Encode(), error));
    options_.baud = 9600;
    LiveSimulator sim(options_);
    Port port(options_.link);
    auto start = Clock::now();
    port.Send(Command('l'));
    Bytes list = port.Read(2 + 4 * 128, milliseconds(5000));
    auto took = Clock::now() - start;
    EXPECT_EQ(list.size(), 514u);
    // 519 bytes over the line at 960 bytes a second.
    EXPECT_GE(took, milliseconds(480));
    EXPECT_LT(took, milliseconds(3000));
}

}  // namespace
}  // namespace printersim
