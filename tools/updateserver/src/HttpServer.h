#pragma once
// An HTTP/1.1 server in two parts. One thread waits on every open connection with epoll: it accepts,
// reads requests as their bytes come, and closes connections that stay idle or send too slowly. A
// request that has fully arrived goes to a pool of workers, which run the handler and write the
// answer; a connection that stays open then goes back to the waiting thread. So an idle connection
// kept open between requests (a proxy keeps many) costs no thread, and a slow client holds no worker
// while it sends.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "FileDescriptor.h"
#include "HttpMessage.h"

namespace updateserver {

class HttpServer {
  public:
    struct Settings {
        int workers = 64;               // requests handled at the same time
        std::size_t maxBody = 1 << 20;  // a longer request body gets 413
        int listenQueue = 512;          // connections waiting to be accepted (a burst of clients)
        std::chrono::milliseconds readTimeout{5000};       // a request whose bytes stop coming
        std::chrono::milliseconds keepAliveTimeout{5000};  // an open connection with no request
        std::chrono::milliseconds writeTimeout{5000};      // a client that stops reading its answer
    };
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    // Called once an answer has gone out (or failed), on the worker that wrote it.
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&)>;

    HttpServer(Settings settings, Handler handler, Logger logger);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens on the address (port 0: any free port). The port, or -1 with a message.
    int Listen(const std::string& address, int port, std::string& error);
    // Serves until Stop. Returns at once when Stop came first.
    void Run();
    // Ends Run from any thread; answers being written end at their next write.
    void Stop();

  private:
    struct Connection;
    using Clock = std::chrono::steady_clock;
    using ConnectionPtr = std::unique_ptr<Connection>;

    void AcceptAll();
    void Park(ConnectionPtr connection, std::chrono::milliseconds timeout);
    void ReadFrom(int fd);
    void Advance(Connection& connection);
    void Dispatch(int fd);
    void Close(int fd);
    void ExpireIdle();
    void TakeBackReturned();
    int MillisecondsToNextDeadline() const;
    void Watch(int fd, std::uint32_t events, int op);

    void WorkerLoop();
    void Serve(ConnectionPtr connection);
    bool Answer(Connection& connection, const HttpRequest& request, HttpResponse& response, bool keepAlive);
    bool SendAll(int fd, const char* data, std::size_t length);
    void LetRefusalArrive(int fd);
    void HandBack(ConnectionPtr connection);

    const Settings settings_;
    const Handler handler_;
    const Logger logger_;
    FileDescriptor listener_;
    FileDescriptor epoll_;
    FileDescriptor wake_;
    std::atomic<bool> stopping_{false};

    // The waiting thread's own: connections between requests, and when each is given up.
    std::unordered_map<int, ConnectionPtr> parked_;
    std::multimap<Clock::time_point, int> deadlines_;
    bool acceptPaused_ = false;

    std::mutex mutex_;  // guards ready_, returned_ and workersStop_
    std::condition_variable readyChanged_;
    std::deque<ConnectionPtr> ready_;
    std::vector<ConnectionPtr> returned_;
    bool workersStop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace updateserver
