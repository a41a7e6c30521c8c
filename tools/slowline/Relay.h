#pragma once
// The delaying relay: takes TCP connections on a port, opens one to the target for each, and
// carries the bytes both ways, each piece reaching the other end the delay after it was read, as
// on a long line (a delay, not a bandwidth cap). A close or a reset travels behind the bytes.
//
// The line's handshake is played too: the kernel has taken a client's connection before the relay
// sees it, so the client's first bytes are held until a real line would have let them arrive (one
// round trip for the handshake, then the way there); a target that refuses the connection resets
// the client's one round trip after it was opened.

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "DelayQueue.h"
#include "UniqueFd.h"

namespace slowline {

using toolsfile::UniqueFd;

struct RelayOptions {
    std::string listenAddress = "127.0.0.1";
    uint16_t listenPort = 0;  // 0: a free one
    std::string targetHost = "127.0.0.1";
    uint16_t targetPort = 0;
    std::chrono::milliseconds delay{0};
    // The client's stack is played as one without TCP_NODELAY: a small piece waits while an earlier
    // small one is unacknowledged (see DelayQueue).
    bool clientNagle = false;
    // Rewritten whole after every connection that opens or ends (empty: none).
    std::filesystem::path statsPath;
};

struct RelayCounts {
    uint64_t connections = 0;  // taken from clients
    uint64_t open = 0;
    uint64_t refused = 0;  // the target could not be reached
    uint64_t bytesToTarget = 0;
    uint64_t bytesToClient = 0;
};

class Relay {
  public:
    explicit Relay(RelayOptions options);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Binds and listens; false with the reason.
    bool Listen(std::string& error);
    uint16_t Port() const { return port_; }
    // Relays until stopFd becomes readable; false with the reason on a failure of its own.
    bool Run(int stopFd, std::string& error);
    RelayCounts Counts() const { return counts_; }

  private:
    struct Direction;
    struct Link;

    void Accept();
    void OnEvent(uint64_t key, uint32_t events);
    void ReadFrom(Link& link, bool fromClient);
    void FinishConnect(Link& link);
    void Flush(Link& link, Clock::time_point now);
    bool FlushDirection(Link& link, Direction& direction, int to, Clock::time_point now);
    void Watch(Link& link);
    void Close(uint64_t id);
    bool Done(const Link& link) const;
    int Timeout() const;
    void WriteStats() const;

    RelayOptions options_;
    UniqueFd listener_;
    UniqueFd epoll_;
    uint16_t port_ = 0;
    sockaddr_in target_{};
    uint64_t nextId_ = 1;
    std::map<uint64_t, std::unique_ptr<Link>> links_;
    RelayCounts counts_;
};

}  // namespace slowline
