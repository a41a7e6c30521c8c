#include "Relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

#include "AtomicFile.h"

namespace slowline {

namespace {

// The most one direction holds before the relay stops reading its source: a fast sender is held
// back by TCP itself, as on a real line, instead of filling the relay's memory.
constexpr std::size_t kMostQueued = 8u << 20;
constexpr std::size_t kReadSize = 64u << 10;
constexpr uint64_t kListenerKey = 0;
constexpr uint64_t kStopKey = 1;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The relay's own writes go out at once: a line's delay is all it adds, never its own coalescing.
void NoDelay(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

// Closing the socket then sends a reset in place of a close.
void ResetOnClose(int fd) {
    linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
}

bool Resolve(const std::string& host, uint16_t port, sockaddr_in& address, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    address.sin_port = htons(port);
    freeaddrinfo(found);
    return true;
}

}  // namespace

struct Relay::Direction {
    Direction(Clock::duration delay, Clock::time_point notBefore, bool senderNagle = false)
        : queue(delay, notBefore, senderNagle) {}
    DelayQueue queue;
    bool readEnded = false;  // its source closed or reset
    bool blocked = false;    // its destination took no more; waits until it can
    bool delivered = false;  // its close reached the destination
    bool dead = false;       // its destination is gone: what comes is dropped
    bool Finished() const { return delivered || (dead && readEnded); }
    bool WantsRead() const { return !readEnded && queue.QueuedBytes() < kMostQueued; }
};

struct Relay::Link {
    Link(uint64_t id, Clock::duration delay, Clock::time_point opened, bool clientNagle)
        : id(id), opened(opened), up(delay, opened + 3 * delay, clientNagle), down(delay, opened) {}
    uint64_t id;
    Clock::time_point opened;
    UniqueFd client;
    UniqueFd target;
    bool connecting = true;
    bool reset = false;  // a reset was delivered: the link ends at once
    Direction up;        // client to target
    Direction down;      // target to client
    uint32_t clientEvents = 0;
    uint32_t targetEvents = 0;
    bool clientWatched = false;
    bool targetWatched = false;
};

Relay::Relay(RelayOptions options) : options_(std::move(options)) {}

Relay::~Relay() = default;

bool Relay::Listen(std::string& error) {
    if (!Resolve(options_.targetHost, options_.targetPort, target_, error)) return false;
    sockaddr_in address{};
    if (!Resolve(options_.listenAddress, options_.listenPort, address, error)) return false;
    listener_.reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener_) {
        error = Errno("socket");
        return false;
    }
    int on = 1;
    setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        error = Errno("bind");
        return false;
    }
    if (listen(listener_.get(), 128) != 0) {
        error = Errno("listen");
        return false;
    }
    socklen_t length = sizeof(address);
    getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    epoll_.reset(epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_) {
        error = Errno("epoll_create1");
        return false;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenerKey;
    epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, listener_.get(), &event);
    WriteStats();
    return true;
}

bool Relay::Run(int stopFd, std::string& error) {
    if (!epoll_) {
        error = "not listening";
        return false;
    }
    epoll_event stop{};
    stop.events = EPOLLIN;
    stop.data.u64 = kStopKey;
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, stopFd, &stop) != 0) {
        error = Errno("epoll_ctl");
        return false;
    }
    std::vector<epoll_event> events(64);
    for (;;) {
        const int n = epoll_wait(epoll_.get(), events.data(), static_cast<int>(events.size()), Timeout());
        if (n < 0 && errno != EINTR) {
            error = Errno("epoll_wait");
            return false;
        }
        for (int i = 0; i < n; ++i) {
            const uint64_t key = events[i].data.u64;
            if (key == kStopKey) return true;
            if (key == kListenerKey)
                Accept();
            else
                OnEvent(key, events[i].events);
        }
        const Clock::time_point now = Clock::now();
        std::vector<uint64_t> ended;
        for (auto& [id, link] : links_) {
            Flush(*link, now);
            if (Done(*link))
                ended.push_back(id);
            else
                Watch(*link);
        }
        for (uint64_t id : ended) Close(id);
    }
}

void Relay::Accept() {
    for (;;) {
        UniqueFd client(accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client) return;
        const Clock::time_point now = Clock::now();
        NoDelay(client.get());
        auto link = std::make_unique<Link>(nextId_++, options_.delay, now, options_.clientNagle);
        link->client = std::move(client);
        link->target.reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ++counts_.connections;
        ++counts_.open;
        bool failed = !link->target;
        if (!failed) {
            NoDelay(link->target.get());
            failed = connect(link->target.get(), reinterpret_cast<const sockaddr*>(&target_),
                             sizeof(target_)) != 0 &&
                     errno != EINPROGRESS;
        }
        Link& added = *link;
        links_.emplace(added.id, std::move(link));
        if (failed) {
            // Told at once by the kernel (a loopback target refuses before any packet travels):
            // the client still hears of it a round trip after it connected.
            FinishConnect(added);
        }
        Watch(added);
        WriteStats();
    }
}

void Relay::FinishConnect(Link& link) {
    int problem = 0;
    socklen_t length = sizeof(problem);
    if (link.target && getsockopt(link.target.get(), SOL_SOCKET, SO_ERROR, &problem, &length) != 0)
        problem = errno;
    if (!link.target) problem = ECONNREFUSED;
    link.connecting = false;
    if (problem == 0) return;
    ++counts_.refused;
    if (link.targetWatched) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, link.target.get(), nullptr);
    link.targetWatched = false;
    link.target.reset();
    link.up.dead = true;
    link.up.queue.Clear();
    // The refusal left the target when the client's opening reached it.
    link.down.queue.Push(DelayQueue::Kind::Reset, {}, link.opened + options_.delay);
    link.down.readEnded = true;
}

void Relay::OnEvent(uint64_t key, uint32_t events) {
    const auto found = links_.find(key / 2);
    if (found == links_.end()) return;
    Link& link = *found->second;
    const bool fromClient = key % 2 == 0;
    if (!fromClient && link.connecting) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) FinishConnect(link);
        return;
    }
    Direction& reading = fromClient ? link.up : link.down;
    Direction& writing = fromClient ? link.down : link.up;
    if ((events & EPOLLOUT) || (events & (EPOLLERR | EPOLLHUP))) writing.blocked = false;
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && !reading.readEnded) ReadFrom(link, fromClient);
}

void Relay::ReadFrom(Link& link, bool fromClient) {
    const int fd = fromClient ? link.client.get() : link.target.get();
    Direction& direction = fromClient ? link.up : link.down;
    std::string bytes(kReadSize, '\0');
    const ssize_t n = recv(fd, bytes.data(), bytes.size(), 0);
    const Clock::time_point now = Clock::now();
    if (n > 0) {
        bytes.resize(static_cast<std::size_t>(n));
        (fromClient ? counts_.bytesToTarget : counts_.bytesToClient) += static_cast<uint64_t>(n);
        if (!direction.dead) direction.queue.Push(DelayQueue::Kind::Data, std::move(bytes), now);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    direction.readEnded = true;
    if (!direction.dead)
        direction.queue.Push(n == 0 ? DelayQueue::Kind::Close : DelayQueue::Kind::Reset, {}, now);
}

void Relay::Flush(Link& link, Clock::time_point now) {
    if (!link.connecting && !link.reset && link.target) FlushDirection(link, link.up, link.target.get(), now);
    if (!link.reset) FlushDirection(link, link.down, link.client.get(), now);
}

// False once the link ended with a reset.
bool Relay::FlushDirection(Link& link, Direction& direction, int to, Clock::time_point now) {
    while (!direction.blocked) {
        DelayQueue::Piece* piece = direction.queue.Due(now);
        if (!piece) return true;
        switch (piece->kind) {
            case DelayQueue::Kind::Data: {
                const ssize_t n = send(to, piece->bytes.data(), piece->bytes.size(), MSG_NOSIGNAL);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    direction.blocked = true;
                    return true;
                }
                if (n < 0) {
                    // The destination reset the connection; its reset comes the other way.
                    direction.dead = true;
                    direction.queue.Clear();
                    return true;
                }
                if (static_cast<std::size_t>(n) < piece->bytes.size()) {
                    direction.queue.Consumed(static_cast<std::size_t>(n));
                    direction.blocked = true;
                    return true;
                }
                direction.queue.Pop();
                break;
            }
            case DelayQueue::Kind::Close:
                shutdown(to, SHUT_WR);
                direction.queue.Pop();
                direction.delivered = true;
                break;
            case DelayQueue::Kind::Reset:
                ResetOnClose(to);
                direction.queue.Pop();
                link.reset = true;
                return false;
        }
    }
    return true;
}

void Relay::Watch(Link& link) {
    auto update = [this](int fd, uint64_t key, uint32_t wanted, uint32_t& current, bool& watched) {
        if (fd < 0) return;
        // A socket whose reading has ended would report its hang-up at every wait: it is watched
        // only while there is something to do with it.
        if (wanted == 0) {
            if (watched) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
            watched = false;
            return;
        }
        if (watched && wanted == current) return;
        epoll_event event{};
        event.events = wanted;
        event.data.u64 = key;
        epoll_ctl(epoll_.get(), watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
        current = wanted;
        watched = true;
    };
    uint32_t client = 0;
    if (link.up.WantsRead()) client |= EPOLLIN;
    if (link.down.blocked) client |= EPOLLOUT;
    uint32_t target = 0;
    if (link.connecting) {
        target = EPOLLOUT;
    } else {
        if (link.down.WantsRead()) target |= EPOLLIN;
        if (link.up.blocked) target |= EPOLLOUT;
    }
    update(link.client.get(), link.id * 2, client, link.clientEvents, link.clientWatched);
    update(link.target ? link.target.get() : -1, link.id * 2 + 1, target, link.targetEvents,
           link.targetWatched);
}

bool Relay::Done(const Link& link) const {
    return link.reset || (link.up.Finished() && link.down.Finished());
}

void Relay::Close(uint64_t id) {
    links_.erase(id);
    --counts_.open;
    WriteStats();
}

int Relay::Timeout() const {
    std::optional<Clock::time_point> next;
    for (const auto& [id, link] : links_) {
        for (const Direction* direction : {&link->up, &link->down}) {
            if (direction->blocked || (direction == &link->up && link->connecting)) continue;
            const auto due = direction->queue.NextDue();
            if (due && (!next || *due < *next)) next = due;
        }
    }
    if (!next) return -1;
    const auto wait = *next - Clock::now();
    if (wait <= Clock::duration::zero()) return 0;
    // Rounded up: a wait that ends a little early would only spin until the piece is due.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

void Relay::WriteStats() const {
    if (options_.statsPath.empty()) return;
    std::string error;
    toolsfile::WriteAtomically(
        options_.statsPath, ".tmp",
        [this](std::ostream& out) {
            out << "connections " << counts_.connections << "\nopen " << counts_.open << "\nrefused "
                << counts_.refused << "\nbytes_to_target " << counts_.bytesToTarget << "\nbytes_to_client "
                << counts_.bytesToClient << "\n";
        },
        error);
}

}  // namespace slowline
