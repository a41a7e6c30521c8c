#include "HttpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "HttpRequestParser.h"

namespace updateserver {
namespace {

// epoll tells these two apart from connections (whose data is their descriptor, never negative).
constexpr std::uint64_t kListenerKey = ~0ULL;
constexpr std::uint64_t kWakeKey = ~0ULL - 1;
constexpr std::size_t kReadChunk = 16 * 1024;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr auto kLongestWait = std::chrono::milliseconds(1000);
constexpr auto kWriteSlice = std::chrono::milliseconds(200);
constexpr auto kLingerTime = std::chrono::milliseconds(2000);
constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

std::string AddressText(const sockaddr_storage& address, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    return text;
}

bool PeerHasClosed(int fd) {
    pollfd watch{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&watch, 1, 0) <= 0) return false;
    // Readable without a hang-up: the client sent more (a pipelined request); it is still there.
    return (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace

struct HttpServer::Connection {
    Connection(int fd, std::string address, int port, std::size_t maxBody)
        : socket(fd), remoteAddr(std::move(address)), remotePort(port), parser(maxBody) {}

    FileDescriptor socket;
    std::string remoteAddr;
    int remotePort;
    std::string received;  // from the current request's first byte on
    HttpRequestParser parser;
    HttpRequestParser::State state = HttpRequestParser::State::NeedMore;
    bool continueSent = false;
    bool timedOut = false;    // the request's bytes stopped coming
    bool inputEnded = false;  // the client will send nothing more
    std::multimap<Clock::time_point, int>::iterator deadline;
};

class SocketSink : public DataSink {
  public:
    SocketSink(int fd, std::function<bool(int, const char*, std::size_t)> send)
        : fd_(fd), send_(std::move(send)) {}
    bool write(const char* data, std::size_t length) override {
        if (failed_ || !send_(fd_, data, length)) {
            failed_ = true;
            return false;
        }
        written_ += length;
        return true;
    }
    bool PeerClosed() override { return PeerHasClosed(fd_); }
    std::size_t Written() const { return written_; }
    bool Failed() const { return failed_; }
    void Restart() { written_ = 0; }

  private:
    int fd_;
    std::function<bool(int, const char*, std::size_t)> send_;
    std::size_t written_ = 0;
    bool failed_ = false;
};

HttpServer::HttpServer(Settings settings, Handler handler, Logger logger)
    : settings_(settings),
      handler_(std::move(handler)),
      logger_(std::move(logger)),
      epoll_(epoll_create1(EPOLL_CLOEXEC)),
      wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Listen(const std::string& address, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0) {
        error = gai_strerror(rc);
        return -1;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        FileDescriptor socket(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!socket.IsOpen()) continue;
        // Reuse only a port left in TIME_WAIT; without SO_REUSEPORT a second server cannot share a live one.
        const int yes = 1;
        setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(socket.Get(), a->ai_addr, a->ai_addrlen) != 0 ||
            ::listen(socket.Get(), settings_.listenQueue) != 0) {
            error = std::strerror(errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
        int boundPort = 0;
        AddressText(bound, boundPort);
        listener_ = std::move(socket);
        return boundPort;
    }
    if (error.empty()) error = "no address to listen on";
    return -1;
}

void HttpServer::Watch(int fd, std::uint32_t events, int op) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = fd == listener_.Get() ? kListenerKey
                     : fd == wake_.Get()   ? kWakeKey
                                           : static_cast<std::uint64_t>(fd);
    epoll_ctl(epoll_.Get(), op, fd, &event);
}

void HttpServer::Run() {
    if (stopping_ || !listener_.IsOpen() || !epoll_.IsOpen() || !wake_.IsOpen()) return;
    Watch(listener_.Get(), EPOLLIN, EPOLL_CTL_ADD);
    Watch(wake_.Get(), EPOLLIN, EPOLL_CTL_ADD);
    for (int i = 0; i < settings_.workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });

    std::vector<epoll_event> events(256);
    Clock::time_point acceptAgain{};
    while (!stopping_) {
        const int count = epoll_wait(epoll_.Get(), events.data(), static_cast<int>(events.size()),
                                     MillisecondsToNextDeadline());
        for (int i = 0; i < count && !stopping_; ++i) {
            const std::uint64_t key = events[i].data.u64;
            if (key == kListenerKey) {
                AcceptAll();
                if (acceptPaused_) acceptAgain = Clock::now() + kAcceptPause;
            } else if (key == kWakeKey) {
                std::uint64_t ignored = 0;
                [[maybe_unused]] const auto got = ::read(wake_.Get(), &ignored, sizeof ignored);
                TakeBackReturned();
            } else {
                ReadFrom(static_cast<int>(key));
            }
        }
        if (acceptPaused_ && Clock::now() >= acceptAgain) {
            acceptPaused_ = false;
            Watch(listener_.Get(), EPOLLIN, EPOLL_CTL_MOD);
        }
        ExpireIdle();
    }

    {
        std::lock_guard lock(mutex_);
        workersStop_ = true;
    }
    readyChanged_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    std::lock_guard lock(mutex_);
    ready_.clear();
    returned_.clear();
    parked_.clear();
    deadlines_.clear();
    listener_ = FileDescriptor();
}

void HttpServer::Stop() {
    stopping_ = true;
    if (wake_.IsOpen()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto put = ::write(wake_.Get(), &one, sizeof one);
    }
}

int HttpServer::MillisecondsToNextDeadline() const {
    auto wait = kLongestWait;
    if (acceptPaused_) wait = kAcceptPause;
    if (!deadlines_.empty()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadlines_.begin()->first - Clock::now());
        wait = std::clamp(left, std::chrono::milliseconds(0), wait);
    }
    return static_cast<int>(wait.count());
}

void HttpServer::AcceptAll() {
    while (!acceptPaused_) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = accept4(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: stop accepting for a moment rather than wake up for the same
            // connection again and again; the waiting ones stay in the listening queue.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptPaused_ = true;
                Watch(listener_.Get(), 0, EPOLL_CTL_MOD);
            }
            return;
        }
        // Headers and body of an answer may go out in separate writes; none may wait for the
        // client's delayed acknowledgement.
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        int port = 0;
        std::string text = AddressText(address, port);
        Park(std::make_unique<Connection>(fd, std::move(text), port, settings_.maxBody),
             settings_.keepAliveTimeout);
    }
}

void HttpServer::Park(ConnectionPtr connection, std::chrono::milliseconds timeout) {
    const int fd = connection->socket.Get();
    connection->deadline = deadlines_.emplace(Clock::now() + timeout, fd);
    Watch(fd, EPOLLIN, EPOLL_CTL_ADD);
    parked_.emplace(fd, std::move(connection));
}

void HttpServer::ReadFrom(int fd) {
    const auto it = parked_.find(fd);
    if (it == parked_.end()) return;
    Connection& connection = *it->second;
    char chunk[kReadChunk];
    const std::size_t most = HttpRequestParser::kMaxHeaderBytes + settings_.maxBody + kReadChunk;
    bool arrived = false;
    while (connection.received.size() < most) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            connection.received.append(chunk, static_cast<std::size_t>(got));
            arrived = true;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        connection.inputEnded = true;  // closed by the client, or reset
        break;
    }
    if (arrived) {
        deadlines_.erase(connection.deadline);
        connection.deadline = deadlines_.emplace(Clock::now() + settings_.readTimeout, fd);
    }
    Advance(connection);
}

void HttpServer::Advance(Connection& connection) {
    const int fd = connection.socket.Get();
    connection.state = connection.parser.Parse(connection.received);
    if (connection.state != HttpRequestParser::State::NeedMore) {
        Dispatch(fd);
        return;
    }
    if (connection.inputEnded) {
        Close(fd);
        return;
    }
    if (connection.parser.ExpectsContinue() && !connection.continueSent &&
        !connection.parser.BodyStarted(connection.received)) {
        connection.continueSent = true;
        // Small enough for any socket buffer; a client that cannot take it is gone.
        if (::send(fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL) !=
            static_cast<ssize_t>(sizeof kContinue - 1))
            Close(fd);
    }
}

void HttpServer::Dispatch(int fd) {
    const auto it = parked_.find(fd);
    ConnectionPtr connection = std::move(it->second);
    parked_.erase(it);
    deadlines_.erase(connection->deadline);
    Watch(fd, 0, EPOLL_CTL_DEL);
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(connection));
    }
    readyChanged_.notify_one();
}

void HttpServer::Close(int fd) {
    const auto it = parked_.find(fd);
    deadlines_.erase(it->second->deadline);
    Watch(fd, 0, EPOLL_CTL_DEL);
    parked_.erase(it);  // closes the socket
    if (acceptPaused_) {
        acceptPaused_ = false;
        Watch(listener_.Get(), EPOLLIN, EPOLL_CTL_MOD);
    }
}

void HttpServer::ExpireIdle() {
    const auto now = Clock::now();
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        const int fd = deadlines_.begin()->second;
        Connection& connection = *parked_.at(fd);
        if (connection.received.find_first_not_of("\r\n") == std::string::npos) {
            Close(fd);  // idle between requests: closed without a word, as HTTP allows
        } else {
            connection.timedOut = true;  // part of a request came, the rest did not: a worker says so
            Dispatch(fd);
        }
    }
}

void HttpServer::TakeBackReturned() {
    std::vector<ConnectionPtr> back;
    {
        std::lock_guard lock(mutex_);
        back.swap(returned_);
    }
    for (ConnectionPtr& connection : back) {
        Connection& kept = *connection;
        const bool partial = !kept.received.empty();
        Park(std::move(connection), partial ? settings_.readTimeout : settings_.keepAliveTimeout);
        // Bytes of the next request may have come with the previous one.
        if (partial) Advance(kept);
    }
}

void HttpServer::WorkerLoop() {
    for (;;) {
        ConnectionPtr connection;
        {
            std::unique_lock lock(mutex_);
            readyChanged_.wait(lock, [this] { return workersStop_ || !ready_.empty(); });
            if (workersStop_) return;
            connection = std::move(ready_.front());
            ready_.pop_front();
        }
        Serve(std::move(connection));
    }
}

void HttpServer::Serve(ConnectionPtr connection) {
    using State = HttpRequestParser::State;
    for (;;) {
        Connection& c = *connection;
        HttpRequest& request = c.parser.Request();
        request.remote_addr = c.remoteAddr;
        request.remote_port = c.remotePort;
        HttpResponse response;
        bool keepAlive = false;
        if (c.timedOut) {
            response.status = 408;
            response.refusal = "the request did not arrive within the read time-out";
        } else if (c.state == State::Failed) {
            response.status = c.parser.FailureStatus();
            response.refusal = c.parser.FailureReason();
        } else {
            keepAlive = c.parser.KeepAlive() && !c.inputEnded && !stopping_;
            try {
                handler_(request, response);
            } catch (const std::exception& e) {
                response = HttpResponse{};
                response.status = 500;
                response.refusal = std::string("the handler failed: ") + e.what();
                keepAlive = false;
            }
        }
        if (response.drop) {
            if (logger_) logger_(request, response);
            return;
        }
        if (!response.refusal.empty()) response.set_content(response.refusal + "\n", "text/plain");
        const bool sent = Answer(c, request, response, keepAlive);
        if (logger_) logger_(request, response);
        if (sent && !response.refusal.empty()) LetRefusalArrive(c.socket.Get());
        if (!sent || !keepAlive) return;

        c.received.erase(0, c.parser.Consumed());
        c.parser = HttpRequestParser(settings_.maxBody);
        c.continueSent = false;
        c.state = c.parser.Parse(c.received);
        // A pipelined request that came whole is answered at once; anything else waits on epoll.
        if (c.state == State::NeedMore) break;
    }
    HandBack(std::move(connection));
}

void HttpServer::HandBack(ConnectionPtr connection) {
    {
        std::lock_guard lock(mutex_);
        if (workersStop_) return;
        returned_.push_back(std::move(connection));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto put = ::write(wake_.Get(), &one, sizeof one);
}

bool HttpServer::Answer(Connection& connection, const HttpRequest& request, HttpResponse& response,
                        bool keepAlive) {
    const int fd = connection.socket.Get();
    const bool noBody = response.status == 204 || response.status == 304 || response.status < 200;
    std::string head =
        "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty() && !noBody) head += "Content-Type: " + response.contentType + "\r\n";
    if (!noBody) head += "Content-Length: " + std::to_string(response.ContentLength()) + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";

    const bool withBody = !noBody && request.method != "HEAD";
    if (!withBody || !response.provider) {
        if (withBody) head += response.body;
        return SendAll(fd, head.data(), head.size());
    }
    if (!SendAll(fd, head.data(), head.size())) return false;
    SocketSink sink(fd, [this](int socket, const char* data, std::size_t length) {
        return SendAll(socket, data, length);
    });
    std::uint64_t offset = 0;
    while (offset < response.providerSize) {
        sink.Restart();
        const std::uint64_t left = response.providerSize - offset;
        bool more = false;
        try {
            more = response.provider(static_cast<std::size_t>(offset), static_cast<std::size_t>(left), sink);
        } catch (const std::exception&) {
            more = false;
        }
        // A provider that gives up, fails to write, writes nothing or more than announced ends the
        // answer: the connection closes, so the client sees it cut short rather than mis-framed.
        if (!more || sink.Failed() || sink.Written() == 0 || sink.Written() > left) return false;
        offset += sink.Written();
    }
    return true;
}

// A refused request may still be on its way (a body too long, one that came too slowly). Closing with
// unread bytes sends a reset, which can reach the client before the refusal and wipe it out; so the
// sending side is closed first and what still comes is read and dropped, for a short while.
void HttpServer::LetRefusalArrive(int fd) {
    ::shutdown(fd, SHUT_WR);
    const auto until = Clock::now() + kLingerTime;
    char scratch[kReadChunk];
    while (!stopping_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return;
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(std::min<long long>(left, kWriteSlice.count()))) < 0) return;
        if (readable.revents == 0) continue;
        const ssize_t got = ::recv(fd, scratch, sizeof scratch, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
    }
}

bool HttpServer::SendAll(int fd, const char* data, std::size_t length) {
    auto quietSince = Clock::now();
    while (length > 0) {
        if (stopping_) return false;
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            quietSince = Clock::now();
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        // The client reads slower than we write: wait for room, in slices so that a stop is seen.
        if (Clock::now() - quietSince >= settings_.writeTimeout) return false;
        pollfd room{fd, POLLOUT, 0};
        poll(&room, 1, static_cast<int>(kWriteSlice.count()));
    }
    return true;
}

}  // namespace updateserver
