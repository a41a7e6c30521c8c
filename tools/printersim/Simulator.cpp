#include "Simulator.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace printersim {
namespace {

// A program that stops reading gets this long before the simulator gives up on a reply.
constexpr auto kStallLimit = std::chrono::seconds(10);
// The pause between a hang-up and the line coming back, as when a cable is plugged in again.
constexpr auto kRedialPause = std::chrono::milliseconds(300);

}  // namespace

Simulator::Simulator(SimOptions options, int stopFd)
    : options_(std::move(options)),
      stopFd_(stopFd),
      files_(options_.statePath),
      protocol_(options_.profile, files_),
      link_(options_.link),
      fromProgram_(options_.baud),
      toProgram_(options_.baud) {}

bool Simulator::Start(std::string& error) {
    if (!files_.Load(error) || !log_.Open(options_.logPath, error)) return false;
    const PrinterProfile& profile = options_.profile;
    if (profile.creditMin || profile.varyDelays) Report("printersim: seed " + std::to_string(profile.seed));
    return OpenLine(error);
}

bool Simulator::OpenLine(std::string& error) {
    line_ = PseudoTerminal::Open(error);
    if (!line_ || !link_.PointAt(line_->slavePath(), error)) return false;
    Report("printersim: " + link_.path().string() + " -> " + line_->slavePath());
    return true;
}

bool Simulator::Serve(std::string& error) {
    while (!stopped_) {
        pollfd fds[2] = {{line_->master(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        if (fds[1].revents != 0) break;
        if (fds[0].revents & POLLIN) {
            if (!ReadFromLine(error)) return false;
        } else if (fds[0].revents != 0) {
            // Cannot happen while the slave side is held open; do not spin if it does.
            StopAsked(50);
        }
    }
    return true;
}

bool Simulator::ReadFromLine(std::string& error) {
    std::uint8_t buffer[4096];
    ssize_t n = ::read(line_->master(), buffer, fromProgram_.PieceSize(sizeof buffer));
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        if (errno == EIO) {
            // Nobody holds the slave side for a moment; wait rather than spin.
            StopAsked(50);
            return true;
        }
        error = std::string("read: ") + std::strerror(errno);
        return false;
    }
    if (n == 0) return true;
    // Asked at once: a program that sends on without reading must not be given the time to catch up.
    const bool repliesTaken = line_->UnreadByProgram() == 0;
    // Bytes left in the terminal after the previous read were waiting for the line: these follow
    // them without a gap.
    const bool queued = bytesWereWaiting_;
    int waiting = 0;
    bytesWereWaiting_ = ::ioctl(line_->master(), FIONREAD, &waiting) == 0 && waiting > 0;
    if (!WaitUntil(fromProgram_.Book(static_cast<std::size_t>(n), queued))) return true;
    ProtocolEvents events =
        protocol_.Receive(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)), repliesTaken);
    for (const auto& line : events.log) log_.Write(line);
    for (const auto& reply : events.replies)
        if (!Send(reply)) return true;
    if (events.hangUp) return HangUpAndReturn(error);
    return true;
}

bool Simulator::Send(const Reply& reply) {
    if (!WaitUntil(Clock::now() + reply.delay)) return false;
    if (!reply.isStatus || options_.split.empty()) return WriteAll(reply.bytes);
    std::size_t at = 0;
    for (std::size_t piece : options_.split) {
        if (at > 0 && !WaitUntil(Clock::now() + options_.splitDelay)) return false;
        if (!WriteAll(std::span<const std::uint8_t>(reply.bytes).subspan(at, piece))) return false;
        at += piece;
    }
    return true;
}

bool Simulator::WriteAll(std::span<const std::uint8_t> bytes) {
    auto stalledSince = Clock::now();
    while (!bytes.empty()) {
        ssize_t n = ::write(line_->master(), bytes.data(), toProgram_.PieceSize(bytes.size()));
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            stalledSince = Clock::now();
            if (!WaitUntil(toProgram_.Book(static_cast<std::size_t>(n)))) return false;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            log_.Write(std::string("reply lost: ") + std::strerror(errno));
            return false;
        }
        if (Clock::now() - stalledSince > kStallLimit) {
            log_.Write("reply lost: the program takes nothing from the line");
            return false;
        }
        pollfd fds[2] = {{line_->master(), POLLOUT, 0}, {stopFd_, POLLIN, 0}};
        ::poll(fds, 2, 100);
        if (fds[1].revents != 0) {
            stopped_ = true;
            return false;
        }
    }
    return true;
}

bool Simulator::HangUpAndReturn(std::string& error) {
    line_->HangUp();
    Report("printersim: hung up " + link_.path().string());
    if (!WaitUntil(Clock::now() + kRedialPause)) return true;
    return OpenLine(error);
}

bool Simulator::WaitUntil(Clock::time_point until) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (StopAsked(left > 0 ? static_cast<int>(left) : 0)) return false;
        if (left <= 0) return true;
    }
}

bool Simulator::StopAsked(int timeoutMs) {
    if (stopped_) return true;
    pollfd fd{stopFd_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) > 0) stopped_ = true;
    return stopped_;
}

void Simulator::Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace printersim
