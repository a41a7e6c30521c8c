#include "HttpServer.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "HttpRequestParser.h"

namespace updateserver {
namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr auto kWriteSlice = std::chrono::milliseconds(200);
constexpr auto kLingerTime = std::chrono::milliseconds(2000);
constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

bool PeerHasClosed(int fd) {
    pollfd watch{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&watch, 1, 0) <= 0) return false;
    // Readable without a hang-up: the client sent more (a pipelined request); it is still there.
    return (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

bool WaitFor(int fd, short events, std::chrono::milliseconds most) {
    pollfd watch{fd, events, 0};
    return poll(&watch, 1, static_cast<int>(most.count())) > 0;
}

bool OutOfDescriptors(const boost::system::error_code& error) {
    const int code = error.value();
    return error.category() == boost::system::system_category() &&
           (code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM);
}

}  // namespace

class HttpServer::Impl {
  public:
    Impl(Settings settings, Handler handler, Logger logger, QuickHandler quick);
    ~Impl() { Stop(); }
    int Listen(const std::string& address, int port, std::string& error);
    void Run();
    void Stop();

  private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    // On the reactor's thread.
    void AcceptNext();
    void Wait(const ConnectionPtr& connection, std::chrono::milliseconds timeout);
    void ReadMore(const ConnectionPtr& connection);
    void ReadAvailable(const ConnectionPtr& connection);
    void Advance(const ConnectionPtr& connection);
    enum class Quick { No, Answered, Ended };
    Quick AnswerAtOnce(const ConnectionPtr& connection);
    void Expire(const ConnectionPtr& connection);
    void Dispatch(const ConnectionPtr& connection);
    void Close(const ConnectionPtr& connection);
    void CloseEverything();

    // On a worker.
    void WorkerLoop();
    void Serve(ConnectionPtr connection);
    bool Answer(Connection& connection, const HttpRequest& request, HttpResponse& response, bool keepAlive);
    void StartNextRequest(Connection& connection);
    bool SendAll(Connection& connection, const char* data, std::size_t length);
    void LetRefusalArrive(Connection& connection);
    void HandBack(ConnectionPtr connection);

    const Settings settings_;
    const Handler handler_;
    const Logger logger_;
    const QuickHandler quick_;
    boost::asio::io_context reactor_{1};
    boost::asio::ip::tcp::acceptor acceptor_{reactor_};
    boost::asio::steady_timer acceptPause_{reactor_};
    std::atomic<bool> stopping_{false};

    // The reactor's own: the connections it waits on, so that a stop can close them.
    std::unordered_set<ConnectionPtr> waiting_;

    std::mutex mutex_;  // guards ready_ and workersStop_
    std::condition_variable readyChanged_;
    std::deque<ConnectionPtr> ready_;
    bool workersStop_ = false;
    std::vector<std::thread> workers_;
};

struct HttpServer::Impl::Connection {
    Connection(tcp::socket connected, std::size_t maxBody)
        : socket(std::move(connected)), timer(socket.get_executor()), parser(maxBody) {}

    tcp::socket socket;
    asio::steady_timer timer;  // the idle or read time-out while the reactor waits on it
    unsigned timerRound = 0;   // tells a time-out that fired late from the current one
    std::string remoteAddr;
    int remotePort = 0;
    std::string received;  // from the current request's first byte on
    HttpRequestParser parser;
    HttpRequestParser::State state = HttpRequestParser::State::NeedMore;
    bool continueSent = false;
    bool timedOut = false;    // the request's bytes stopped coming
    bool inputEnded = false;  // the client will send nothing more
    // An answer made at once whose end did not fit into the socket: a worker sends the rest.
    std::string unsent;
    HttpResponse unsentResponse;
    bool unsentKeepAlive = false;
};

namespace {

bool StatusHasBody(int status) { return status >= 200 && status != 204 && status != 304; }

std::string HeadOf(const HttpResponse& response, bool keepAlive) {
    const bool noBody = !StatusHasBody(response.status);
    std::string head =
        "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty() && !noBody) head += "Content-Type: " + response.contentType + "\r\n";
    if (!noBody) head += "Content-Length: " + std::to_string(response.ContentLength()) + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

bool WithBody(const HttpRequest& request, const HttpResponse& response) {
    return StatusHasBody(response.status) && request.method != "HEAD";
}

}  // namespace

class SocketSink : public DataSink {
  public:
    SocketSink(int fd, std::function<bool(const char*, std::size_t)> send)
        : fd_(fd), send_(std::move(send)) {}
    bool write(const char* data, std::size_t length) override {
        if (failed_ || !send_(data, length)) {
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
    std::function<bool(const char*, std::size_t)> send_;
    std::size_t written_ = 0;
    bool failed_ = false;
};

HttpServer::Impl::Impl(Settings settings, Handler handler, Logger logger, QuickHandler quick)
    : settings_(settings),
      handler_(std::move(handler)),
      logger_(std::move(logger)),
      quick_(std::move(quick)) {}

int HttpServer::Impl::Listen(const std::string& address, int port, std::string& error) {
    boost::system::error_code ec;
    tcp::resolver resolver(reactor_);
    const auto endpoints = resolver.resolve(address, std::to_string(port),
                                            tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec) {
        error = ec.message();
        return -1;
    }
    for (const auto& entry : endpoints) {
        tcp::acceptor acceptor(reactor_);
        acceptor.open(entry.endpoint().protocol(), ec);
        if (ec) continue;
        // Reuse only a port left in TIME_WAIT; without SO_REUSEPORT a second server cannot share a live one.
        acceptor.set_option(asio::socket_base::reuse_address(true), ec);
        acceptor.bind(entry.endpoint(), ec);
        if (!ec) acceptor.listen(settings_.listenQueue, ec);
        if (ec) {
            error = ec.message();
            continue;
        }
        acceptor_ = std::move(acceptor);
        return acceptor_.local_endpoint(ec).port();
    }
    if (error.empty()) error = "no address to listen on";
    return -1;
}

void HttpServer::Impl::Run() {
    if (stopping_ || !acceptor_.is_open()) return;
    for (int i = 0; i < settings_.workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
    AcceptNext();
    // Returns once a stop has closed the listener and every connection the reactor waits on.
    reactor_.run();

    {
        std::lock_guard lock(mutex_);
        workersStop_ = true;
    }
    readyChanged_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    std::lock_guard lock(mutex_);
    ready_.clear();
    waiting_.clear();
}

void HttpServer::Impl::Stop() {
    if (stopping_.exchange(true)) return;
    asio::post(reactor_, [this] { CloseEverything(); });
}

void HttpServer::Impl::CloseEverything() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    acceptPause_.cancel();
    for (const ConnectionPtr& connection : waiting_) {
        connection->timer.cancel();
        connection->socket.close(ignored);
    }
    waiting_.clear();
}

void HttpServer::Impl::AcceptNext() {
    acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
        if (stopping_) return;
        if (error) {
            // Out of descriptors: stop accepting for a moment rather than wake up for the same
            // connection again and again; the waiting ones stay in the listening queue.
            if (OutOfDescriptors(error)) {
                acceptPause_.expires_after(kAcceptPause);
                acceptPause_.async_wait([this](const boost::system::error_code& e) {
                    if (!e && !stopping_) AcceptNext();
                });
                return;
            }
            AcceptNext();
            return;
        }
        boost::system::error_code ec;
        // Headers and body of an answer may go out in separate writes; none may wait for the
        // client's delayed acknowledgement.
        socket.set_option(tcp::no_delay(true), ec);
        // Workers write with time-outs of their own, polling for room.
        socket.non_blocking(true, ec);
        const tcp::endpoint peer = socket.remote_endpoint(ec);
        auto connection = std::make_shared<Connection>(std::move(socket), settings_.maxBody);
        connection->remoteAddr = peer.address().to_string();
        connection->remotePort = peer.port();
        waiting_.insert(connection);
        Wait(connection, settings_.keepAliveTimeout);
        ReadMore(connection);
        AcceptNext();
    });
}

void HttpServer::Impl::Wait(const ConnectionPtr& connection, std::chrono::milliseconds timeout) {
    connection->timer.expires_after(timeout);
    connection->timer.async_wait(
        [this, connection, round = ++connection->timerRound](const boost::system::error_code& error) {
            if (!error && round == connection->timerRound && waiting_.count(connection)) Expire(connection);
        });
}

// The reactor waits for a connection to become readable and then reads what has come into one buffer
// of its own, so that a connection waiting for its next request holds no read buffer.
void HttpServer::Impl::ReadMore(const ConnectionPtr& connection) {
    connection->socket.async_wait(
        tcp::socket::wait_read, [this, connection](const boost::system::error_code& error) {
            if (stopping_ || !waiting_.count(connection)) return;
            if (connection->timedOut) {  // what came with the time-out does not matter any more
                Dispatch(connection);
                return;
            }
            if (error) {
                connection->inputEnded = true;
                Advance(connection);
                return;
            }
            ReadAvailable(connection);
        });
}

void HttpServer::Impl::ReadAvailable(const ConnectionPtr& connection) {
    Connection& c = *connection;
    static thread_local std::array<char, kReadChunk> chunk;
    const std::size_t most = HttpRequestParser::kMaxHeaderBytes + settings_.maxBody + kReadChunk;
    bool arrived = false;
    while (c.received.size() < most) {
        boost::system::error_code ec;
        const std::size_t got = c.socket.read_some(asio::buffer(chunk), ec);
        if (!ec) {
            c.received.append(chunk.data(), got);
            arrived = true;
            continue;
        }
        if (ec == asio::error::interrupted) continue;
        if (ec != asio::error::would_block && ec != asio::error::try_again)
            c.inputEnded = true;  // closed or reset
        break;
    }
    if (arrived) Wait(connection, settings_.readTimeout);
    Advance(connection);
}

void HttpServer::Impl::Advance(const ConnectionPtr& connection) {
    Connection& c = *connection;
    bool answered = false;
    for (;;) {
        c.state = c.parser.Parse(c.received);
        if (c.state == HttpRequestParser::State::NeedMore) break;
        const Quick quick = c.state == HttpRequestParser::State::Complete && !c.timedOut
                                ? AnswerAtOnce(connection)
                                : Quick::No;
        if (quick == Quick::Ended) return;
        if (quick == Quick::No) {
            Dispatch(connection);
            return;
        }
        answered = true;
    }
    if (c.inputEnded) {
        Close(connection);
        return;
    }
    if (answered) Wait(connection, c.received.empty() ? settings_.keepAliveTimeout : settings_.readTimeout);
    if (c.parser.ExpectsContinue() && !c.continueSent && !c.parser.BodyStarted(c.received)) {
        c.continueSent = true;
        // Small enough for any socket buffer; a client that cannot take it is gone.
        boost::system::error_code ec;
        if (c.socket.send(asio::buffer(kContinue, sizeof kContinue - 1), 0, ec) != sizeof kContinue - 1) {
            Close(connection);
            return;
        }
    }
    ReadMore(connection);
}

HttpServer::Impl::Quick HttpServer::Impl::AnswerAtOnce(const ConnectionPtr& connection) {
    Connection& c = *connection;
    if (!quick_ || stopping_) return Quick::No;
    HttpRequest& request = c.parser.Request();
    request.remote_addr = c.remoteAddr;
    request.remote_port = c.remotePort;
    HttpResponse response;
    try {
        if (!quick_(request, response)) return Quick::No;
    } catch (const std::exception&) {
        return Quick::No;  // the handler on a worker makes the answer, or says why it cannot
    }
    const bool keepAlive = c.parser.KeepAlive() && !c.inputEnded;
    std::string out = HeadOf(response, keepAlive);
    if (WithBody(request, response)) out += response.body;
    boost::system::error_code ec;
    const std::size_t sent = c.socket.send(asio::buffer(out), 0, ec);
    if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
        if (logger_) logger_(request, response);
        Close(connection);
        return Quick::Ended;
    }
    if (sent < out.size()) {
        c.unsent = out.substr(sent);
        c.unsentResponse = std::move(response);
        c.unsentKeepAlive = keepAlive;
        Dispatch(connection);
        return Quick::Ended;
    }
    if (logger_) logger_(request, response);
    if (!keepAlive) {
        Close(connection);
        return Quick::Ended;
    }
    StartNextRequest(c);
    return Quick::Answered;
}

void HttpServer::Impl::Expire(const ConnectionPtr& connection) {
    if (connection->received.find_first_not_of("\r\n") == std::string::npos) {
        Close(connection);  // idle between requests: closed without a word, as HTTP allows
        return;
    }
    // Part of a request came, the rest did not: the wait is called off and a worker says so.
    connection->timedOut = true;
    boost::system::error_code ignored;
    connection->socket.cancel(ignored);
}

void HttpServer::Impl::Dispatch(const ConnectionPtr& connection) {
    waiting_.erase(connection);
    ++connection->timerRound;
    connection->timer.cancel();
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(connection);
    }
    readyChanged_.notify_one();
}

void HttpServer::Impl::Close(const ConnectionPtr& connection) {
    waiting_.erase(connection);
    ++connection->timerRound;
    connection->timer.cancel();
    boost::system::error_code ignored;
    connection->socket.close(ignored);
}

void HttpServer::Impl::WorkerLoop() {
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

void HttpServer::Impl::Serve(ConnectionPtr connection) {
    using State = HttpRequestParser::State;
    for (;;) {
        Connection& c = *connection;
        HttpRequest& request = c.parser.Request();
        request.remote_addr = c.remoteAddr;
        request.remote_port = c.remotePort;
        HttpResponse response;
        bool keepAlive = false;
        if (!c.unsent.empty()) {
            // The end of an answer the reactor made, which did not fit into the socket at once.
            response = std::move(c.unsentResponse);
            keepAlive = c.unsentKeepAlive;
            const bool sent = SendAll(c, c.unsent.data(), c.unsent.size());
            c.unsent.clear();
            if (logger_) logger_(request, response);
            if (!sent || !keepAlive) return;
        } else {
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
            if (sent && !response.refusal.empty()) LetRefusalArrive(c);
            if (!sent || !keepAlive) return;
        }
        StartNextRequest(c);
        c.state = c.parser.Parse(c.received);
        // A pipelined request that came whole is answered at once; anything else waits in the reactor.
        if (c.state == State::NeedMore) break;
    }
    HandBack(std::move(connection));
}

void HttpServer::Impl::StartNextRequest(Connection& connection) {
    connection.received.erase(0, connection.parser.Consumed());
    connection.parser = HttpRequestParser(settings_.maxBody);
    connection.continueSent = false;
}

void HttpServer::Impl::HandBack(ConnectionPtr connection) {
    if (stopping_) return;  // the connection closes here
    asio::post(reactor_, [this, connection = std::move(connection)] {
        if (stopping_) return;
        waiting_.insert(connection);
        const bool partial = !connection->received.empty();
        Wait(connection, partial ? settings_.readTimeout : settings_.keepAliveTimeout);
        // Bytes of the next request may have come with the previous one.
        if (partial)
            Advance(connection);
        else
            ReadMore(connection);
    });
}

bool HttpServer::Impl::Answer(Connection& connection, const HttpRequest& request, HttpResponse& response,
                              bool keepAlive) {
    std::string head = HeadOf(response, keepAlive);
    const bool withBody = WithBody(request, response);
    if (!withBody || !response.provider) {
        if (withBody) head += response.body;
        return SendAll(connection, head.data(), head.size());
    }
    if (!SendAll(connection, head.data(), head.size())) return false;
    SocketSink sink(connection.socket.native_handle(),
                    [this, &connection](const char* data, std::size_t length) {
                        return SendAll(connection, data, length);
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
void HttpServer::Impl::LetRefusalArrive(Connection& connection) {
    boost::system::error_code ec;
    connection.socket.shutdown(tcp::socket::shutdown_send, ec);
    const auto until = Clock::now() + kLingerTime;
    std::array<char, kReadChunk> scratch;
    while (!stopping_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return;
        if (!WaitFor(connection.socket.native_handle(), POLLIN, std::min(left, kWriteSlice))) continue;
        connection.socket.read_some(asio::buffer(scratch), ec);
        if (ec && ec != asio::error::would_block && ec != asio::error::interrupted) return;
    }
}

bool HttpServer::Impl::SendAll(Connection& connection, const char* data, std::size_t length) {
    auto quietSince = Clock::now();
    while (length > 0) {
        if (stopping_) return false;
        boost::system::error_code ec;
        const std::size_t sent = connection.socket.write_some(asio::buffer(data, length), ec);
        if (!ec) {
            data += sent;
            length -= sent;
            quietSince = Clock::now();
            continue;
        }
        if (ec == asio::error::interrupted) continue;
        if (ec != asio::error::would_block && ec != asio::error::try_again) return false;
        // The client reads slower than we write: wait for room, in slices so that a stop is seen.
        if (Clock::now() - quietSince >= settings_.writeTimeout) return false;
        WaitFor(connection.socket.native_handle(), POLLOUT, kWriteSlice);
    }
    return true;
}

HttpServer::HttpServer(Settings settings, Handler handler, Logger logger, QuickHandler quick)
    : impl_(std::make_unique<Impl>(settings, std::move(handler), std::move(logger), std::move(quick))) {}

HttpServer::~HttpServer() = default;

int HttpServer::Listen(const std::string& address, int port, std::string& error) {
    return impl_->Listen(address, port, error);
}

void HttpServer::Run() { impl_->Run(); }

void HttpServer::Stop() { impl_->Stop(); }

}  // namespace updateserver
